// Phones: the adb server's list, live from the event stream; preparing one; WiFi pairing.
import { el, api, head, on, state, showError, setStatus } from './ui.js';

export function phonesPage() {
  const body = el('tbody');
  const note = el('p');
  const qr = el('div');
  const draw = (list) => {
    note.textContent = !list.adb ? 'No adb server answers: plug a phone in or start adb.'
      : list.phones.length ? '' : 'No phones: plug one in with USB debugging on, or pair one over WiFi.';
    body.replaceChildren(...list.phones.map((p) => el('tr', { data: { serial: p.serial } },
      el('td', String(p.index)), el('td', p.serial), el('td', p.state), el('td', p.connection),
      el('td', p.maker || ''), el('td', p.model || ''), el('td', p.android || ''),
      el('td', p.prepared ? 'ready' : el('button', {
        disabled: p.state !== 'device',
        onclick: async (e) => {
          e.target.disabled = true;
          setStatus(`preparing ${p.serial}...`);
          try {
            await api(`/api/phones/${p.index}/prepare`, { method: 'POST' });
            setStatus(`${p.serial} is ready`);
          } catch (error) { showError(error); e.target.disabled = false; }
        },
      }, 'Prepare')))));
  };
  const off = on('phones', (list) => { if (body.isConnected) draw(list); else off(); });
  api('/api/phones').then(draw).catch(showError);
  const pair = el('button', {
    onclick: () => {
      // A new address each time, so the browser asks again and the pairing server starts.
      const image = el('img', { class: 'qr', alt: 'QR code for pairing over WiFi', src: `/api/pairing.bmp?${Date.now()}` });
      image.addEventListener('error', () => qr.replaceChildren(el('p', { class: 'error' },
        'The pairing server could not start on this computer\'s network address.')));
      qr.replaceChildren(el('p', 'Scan this with the companion app on the phone (same WiFi network):'), image);
    },
  }, 'Pair over WiFi');
  return el('section', { class: 'scroll' },
    el('h1', 'Phones'),
    note,
    el('table', {},
      head([['#', '40px'], ['Serial', '20%'], ['State'], ['Link'], ['Maker'], ['Model', '20%'], ['Android'], ['', '110px']]),
      body),
    el('p', {}, pair),
    qr);
}
