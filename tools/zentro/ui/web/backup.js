// Backup: every kind of the phone into a new folder, with live progress per kind and cancel.
import { el, api, on, phonePath, showError } from './ui.js';

const kinds = ['messages', 'calls', 'contacts', 'calendar', 'photos', 'music', 'videos'];

export function backupPage() {
  const rows = new Map(kinds.map((k) => [k, { bar: el('progress', { max: 1, value: 0 }), state: el('td', 'waiting') }]));
  const outcome = el('p', { class: 'outcome' });
  const start = el('button', { class: 'primary' }, 'Start backup');
  const cancel = el('button', { disabled: true }, 'Cancel');
  start.addEventListener('click', async () => {
    for (const row of rows.values()) { row.bar.value = 0; row.state.textContent = 'waiting'; }
    try {
      const r = await api(phonePath('backup'), { method: 'POST' });
      outcome.textContent = `Backing up into ${r.folder}`;
      start.disabled = true;
      cancel.disabled = false;
    } catch (error) { showError(error); }
  });
  cancel.addEventListener('click', () => api('/api/cancel', { method: 'POST' }).catch(showError));
  const recordKind = { messages: 'messages', calls: 'calls', contacts: 'contacts', events: 'calendar' };
  const offProgress = on('progress', (p) => {
    const row = rows.get(recordKind[p.kind]);
    if (p.task === 'read' && row && row.state.textContent === 'running') {
      row.bar.max = Math.max(p.total, 1);
      row.bar.value = p.done;
    }
  });
  const off = on('backup', (b) => {
    if (!outcome.isConnected) { off(); offProgress(); return; }
    if (b.kind === 'all') {
      outcome.textContent = b.state === 'failed' ? `Backup failed: ${b.message}` : `Backup ${b.state}. ${outcome.textContent}`;
      document.body.dataset.backup = b.state;
      start.disabled = false;
      cancel.disabled = true;
      return;
    }
    const row = rows.get(b.kind);
    if (!row) return;
    row.state.textContent = b.total ? `${b.state} ${b.done}/${b.total}` : b.state;
    if (b.total) { row.bar.max = b.total; row.bar.value = b.done; }
    if (b.state === 'done') { row.bar.max = 1; row.bar.value = 1; }
  });
  return el('section', { class: 'scroll' }, el('h1', 'Backup'),
    el('p', 'Copies the messages, calls, contacts, calendar, photos, music and videos of the phone into a new folder under Documents/zentro-backups.'),
    el('div', { class: 'row' }, start, cancel), outcome,
    el('table', {}, el('tbody', {}, ...kinds.map((k) => el('tr', { data: { kind: k } }, el('th', k), el('td', {}, rows.get(k).bar), rows.get(k).state)))));
}
