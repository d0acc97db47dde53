// Calls, contacts and the calendar.
import { el, api, phonePath, showError, setStatus } from './ui.js';
import { VirtualList } from './vlist.js';

const callTypes = { 1: 'incoming', 2: 'outgoing', 3: 'missed' };

export function callsPage() {
  const list = new VirtualList({
    rowHeight: 44,
    fetchPage: (offset, limit) => api(phonePath(`calls?offset=${offset}&limit=${limit}`)),
    render: (c) => el('div', {}, el('strong', c.name || c.number || ''), ` ${c.number || ''} `,
      el('span', { class: 'sub' }, `${callTypes[c.type] || c.type || ''} ${c.date || ''} ${c.duration || 0} s`)),
  });
  list.reset().catch(showError);
  return el('section', { class: 'pane-detail' }, el('h1', 'Calls'), list.node);
}

const editable = ['firstName', 'lastName', 'nickname', 'mobile', 'homePhone', 'workPhone', 'homeEmail',
  'workEmail', 'organization', 'title', 'website', 'birthday', 'note', 'homeAddress', 'workAddress'];

export function contactsPage() {
  let query = '';
  let chosen = null;
  const detail = el('div', { class: 'card' }, 'Choose a contact to see or change it.');
  const list = new VirtualList({
    rowHeight: 44,
    fetchPage: (offset, limit) => api(phonePath(`contacts?offset=${offset}&limit=${limit}&q=${encodeURIComponent(query)}`)),
    render: (c) => el('div', { data: { id: c.id } },
      el('strong', [c.firstName, c.lastName].filter(Boolean).join(' ') || '(no name)'), ' ',
      el('span', { class: 'sub' }, c.mobile || c.homePhone || c.workPhone || '')),
    onPick: (c) => { chosen = c; showContact(); },
  });
  function showContact() {
    const field = el('select', { 'aria-label': 'Field' }, ...editable.map((f) => el('option', { value: f }, f)));
    const value = el('input', { 'aria-label': 'New value' });
    field.addEventListener('change', () => { value.value = chosen[field.value] || ''; });
    value.value = chosen[field.value] || '';
    detail.replaceChildren(
      el('h2', [chosen.firstName, chosen.lastName].filter(Boolean).join(' ') || '(no name)'),
      el('table', {}, el('tbody', {}, ...Object.entries(chosen).filter(([, v]) => v)
        .map(([k, v]) => el('tr', {}, el('th', k), el('td', v))))),
      el('form', {
        class: 'row',
        onsubmit: async (e) => {
          e.preventDefault();
          try {
            await api(phonePath(`contacts/${chosen.id}`), { method: 'PATCH', body: { field: field.value, value: value.value } });
            chosen[field.value] = value.value;
            setStatus(`changed ${field.value}`);
            showContact();
            list.reset();
          } catch (error) { showError(error); }
        },
      }, field, value, el('button', { type: 'submit' }, 'Change')));
  }
  const name = el('input', { placeholder: 'Name', 'aria-label': 'Name' });
  const number = el('input', { placeholder: 'Mobile number', 'aria-label': 'Mobile number' });
  const add = el('form', {
    class: 'row',
    onsubmit: async (e) => {
      e.preventDefault();
      try {
        const added = await api(phonePath('contacts'), { method: 'POST', body: { name: name.value, number: number.value } });
        setStatus(`added ${name.value} (id ${added.id})`);
        name.value = number.value = '';
        list.reset();
      } catch (error) { showError(error); }
    },
  }, name, number, el('button', { class: 'primary', type: 'submit' }, 'Add contact'));
  // The phone's interface deletes contacts only all at once.
  const clear = el('button', {
    onclick: async () => {
      if (!confirm('Delete every contact on the phone? The phone cannot delete a single one.')) return;
      try { await api(phonePath('contacts'), { method: 'DELETE' }); list.reset(); } catch (error) { showError(error); }
    },
  }, 'Delete all contacts');
  const search = el('input', {
    type: 'search', placeholder: 'Search contacts', 'aria-label': 'Search contacts',
    oninput: () => { query = search.value; list.reset().catch(showError); },
  });
  list.reset().catch(showError);
  return el('div', { class: 'split' },
    el('section', { class: 'pane-list' }, el('h1', 'Contacts'), search, list.node),
    el('section', { class: 'pane-detail' }, add, detail, el('div', {}, clear)));
}

export function calendarPage() {
  const now = new Date();
  const month = el('input', { type: 'month', 'aria-label': 'Month',
    value: `${now.getFullYear()}-${String(now.getMonth() + 1).padStart(2, '0')}` });
  const body = el('tbody');
  const load = () => api(phonePath(`calendar?month=${month.value}`)).then((r) => {
    body.replaceChildren(...(r.items.length ? r.items.map((e) => el('tr', {},
      el('td', (e.startIso || '').replace('T', ' ').slice(0, 16)), el('td', e.title || ''), el('td', e.location || '')))
      : [el('tr', {}, el('td', { colspan: 3 }, 'No events this month.'))]));
  }).catch(showError);
  month.addEventListener('change', load);
  const title = el('input', { placeholder: 'Title', 'aria-label': 'Title' });
  const start = el('input', { type: 'datetime-local', 'aria-label': 'Start' });
  const end = el('input', { type: 'datetime-local', 'aria-label': 'End' });
  const where = el('input', { placeholder: 'Location', 'aria-label': 'Location' });
  const add = el('form', {
    class: 'row',
    onsubmit: async (e) => {
      e.preventDefault();
      try {
        await api(phonePath('calendar'), { method: 'POST',
          body: { title: title.value, start: start.value, end: end.value, location: where.value } });
        setStatus(`added ${title.value}`);
        month.value = start.value.slice(0, 7);
        load();
      } catch (error) { showError(error); }
    },
  }, title, start, end, where, el('button', { class: 'primary', type: 'submit' }, 'Add event'));
  load();
  return el('section', { class: 'scroll' }, el('h1', 'Calendar'), el('div', { class: 'row' }, month), add,
    el('table', {}, el('thead', {}, el('tr', {}, el('th', 'Start'), el('th', 'Title'), el('th', 'Where'))), body));
}
