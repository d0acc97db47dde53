// Backup: every kind of the phone into a new folder, with live progress per kind and cancel.
import { el, api, head, on, phonePath, showError } from './ui.js';

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
    el('table', {}, head([['Kind', '110px'], ['', '220px'], ['State']]),
      el('tbody', {}, ...kinds.map((k) => el('tr', { data: { kind: k } }, el('th', k), el('td', {}, rows.get(k).bar), rows.get(k).state)))));
}

const restoreKinds = ['contacts', 'calendar', 'calls', 'messages', 'photos', 'music', 'videos'];

// Restore: a backup of this computer back onto the phone, only what the phone lacks; a preview
// first, then the restore with live progress per kind and cancel.
export function restorePage() {
  const choice = el('select', { 'aria-label': 'Backup to restore' });
  const rows = new Map(restoreKinds.map((k) => [k, { bar: el('progress', { max: 1, value: 0 }), state: el('td', ''), plan: el('td', '') }]));
  const outcome = el('p', { class: 'outcome' });
  const preview = el('button', {}, 'Preview');
  const start = el('button', { class: 'primary' }, 'Restore');
  const cancel = el('button', { disabled: true }, 'Cancel');
  const tallyText = (t, verb) => `${t.added} ${verb}, ${t.skipped} already there${t.failed ? `, ${t.failed} not restored` : ''}`;
  api('/api/backups').then((r) => {
    choice.replaceChildren(...r.backups.map((b) => el('option', { value: b.name },
      `${b.name}${b.model ? ` (${b.model})` : ''}${b.complete ? '' : ' incomplete'}`)));
    if (!r.backups.length) outcome.textContent = `No backups in ${r.folder} yet: make one on the Backup page.`;
  }).catch(showError);
  const busy = (running) => { preview.disabled = start.disabled = running; cancel.disabled = !running; };
  preview.addEventListener('click', async () => {
    busy(true);
    outcome.textContent = 'Comparing the backup with the phone...';
    // The last restore's counts beside a new preview would read as its result.
    for (const row of rows.values()) { row.bar.value = 0; row.state.textContent = ''; }
    try {
      const report = await api(phonePath('restore'), { method: 'POST', body: { backup: choice.value, dryRun: true } });
      for (const [kind, row] of rows) row.plan.textContent = report[kind] ? tallyText(report[kind], 'would be added') : 'not in the backup';
      outcome.textContent = `Preview of ${choice.value}: nothing was changed.`;
      document.body.dataset.restore = 'previewed';
    } catch (error) { showError(error); outcome.textContent = ''; }
    busy(false);
  });
  start.addEventListener('click', async () => {
    for (const row of rows.values()) { row.bar.max = 1; row.bar.value = 0; row.state.textContent = 'waiting'; }
    delete document.body.dataset.restore;
    try {
      await api(phonePath('restore'), { method: 'POST', body: { backup: choice.value } });
      outcome.textContent = `Restoring ${choice.value}...`;
      busy(true);
    } catch (error) { showError(error); }
  });
  cancel.addEventListener('click', () => api('/api/cancel', { method: 'POST' }).catch(showError));
  const offProgress = on('progress', (p) => {
    const row = rows.get(p.kind);
    if (p.task === 'restore' && row) { row.bar.max = Math.max(p.total, 1); row.bar.value = p.done; }
  });
  const off = on('restore', (r) => {
    if (!outcome.isConnected) { off(); offProgress(); return; }
    if (r.kind === 'all') {
      if (r.report) for (const [kind, row] of rows) if (r.report[kind]) row.state.textContent = tallyText(r.report[kind], 'added');
      outcome.textContent = r.state === 'done' ? `Restore of ${choice.value} done.` : `Restore ${r.state}: ${r.message}`;
      document.body.dataset.restore = r.state;
      busy(false);
      return;
    }
    const row = rows.get(r.kind);
    if (!row) return;
    row.state.textContent = r.state;
    if (r.state !== 'running') { row.bar.max = 1; row.bar.value = 1; }
  });
  return el('section', { class: 'scroll' }, el('h1', 'Restore'),
    el('p', 'Puts a backup\'s contacts, calendar, calls, messages, photos, music and videos back onto the phone. What the phone holds already is left alone.'),
    el('div', { class: 'row' }, choice, preview, start, cancel), outcome,
    el('table', {}, head([['Kind', '110px'], ['Would be added'], ['', '220px'], ['Restore']]),
      el('tbody', {}, ...restoreKinds.map((k) => el('tr', { data: { kind: k } },
        el('th', k), rows.get(k).plan, el('td', {}, rows.get(k).bar), rows.get(k).state)))));
}
