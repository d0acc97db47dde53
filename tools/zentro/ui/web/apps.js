// Applications: list, install by dropping an .apk, uninstall, export.
import { el, api, head, phonePath, showError, setStatus, dropZone, uploadFile, formatBytes } from './ui.js';

export function appsPage() {
  const body = el('tbody', {}, el('tr', {}, el('td', { colspan: 5 }, 'loading...')));
  const load = () => api(phonePath('apps')).then((apps) => {
    body.replaceChildren(...apps.map((a) => el('tr', {},
      el('td', a.label || ''), el('td', a.package), el('td', a.version || ''), el('td', formatBytes(a.size || 0)),
      el('td', {},
        el('a', { href: phonePath(`apps/${encodeURIComponent(a.package)}/apk`), download: `${a.package}.apk` }, 'Export'), ' ',
        el('button', {
          onclick: async () => {
            if (!confirm(`Uninstall ${a.package}?`)) return;
            try { await api(phonePath(`apps/${encodeURIComponent(a.package)}`), { method: 'DELETE' }); load(); }
            catch (error) { showError(error); }
          },
        }, 'Uninstall')))));
    if (!apps.length) body.replaceChildren(el('tr', {}, el('td', { colspan: 5 }, 'No applications on this phone.')));
  }).catch(showError);
  const drop = dropZone('Drop an .apk here to install it, or choose one:', '.apk', async (file) => {
    setStatus(`installing ${file.name}...`);
    try { await uploadFile(phonePath('apps/upload'), file); setStatus(`installed ${file.name}`); load(); }
    catch (error) { showError(error); }
  });
  load();
  return el('section', { class: 'scroll' }, el('h1', 'Applications'), drop,
    el('table', {}, head([['Name', '24%'], ['Package', '30%'], ['Version'], ['Size', '10%'], ['', '170px']]), body));
}
