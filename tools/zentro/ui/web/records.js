// Calls, contacts and the calendar.
import { el, api, head, phonePath, showError, setStatus } from './ui.js';
import { VirtualList } from './vlist.js';

const callTypes = { 1: 'incoming', 2: 'outgoing', 3: 'missed' };
// 1663 -> "27:43", 3700 -> "1:01:40": how a phone shows a call's length.
function duration(seconds) {
  const s = Math.max(0, Number(seconds) || 0);
  const mm = `${Math.floor(s / 60) % 60}`, ss = `${s % 60}`.padStart(2, '0');
  return s >= 3600 ? `${Math.floor(s / 3600)}:${mm.padStart(2, '0')}:${ss}` : `${mm}:${ss}`;
}

export function callsPage() {
  const list = new VirtualList({
    rowHeight: 44,
    fetchPage: (offset, limit) => api(phonePath(`calls?offset=${offset}&limit=${limit}`)),
    render: (c) => el('div', {}, el('strong', c.name || c.number || '(no number)'), c.name ? ` ${c.number || ''} ` : ' ',
      el('span', { class: 'sub' }, `${callTypes[c.type] || c.type || ''} ${c.date || ''} ${duration(c.duration)}`)),
    empty: () => 'No calls on this phone.',
  });
  list.reset().catch(showError);
  return el('section', { class: 'pane-detail' }, el('h1', 'Calls'), list.node);
}

// The fields one can change, with the words a person reads for them.
const fieldNames = {
  firstName: 'First name', lastName: 'Last name', nickname: 'Nickname', mobile: 'Mobile', homePhone: 'Home phone',
  workPhone: 'Work phone', homeEmail: 'Home email', workEmail: 'Work email', organization: 'Organization',
  title: 'Job title', website: 'Website', birthday: 'Birthday', note: 'Note', homeAddress: 'Home address',
  workAddress: 'Work address', homeFax: 'Home fax', workFax: 'Work fax', group: 'Group',
};
const editable = Object.keys(fieldNames);

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
    empty: () => (query ? 'No contact matches the search.' : 'No contacts on this phone.'),
  });
  function showContact() {
    const field = el('select', { 'aria-label': 'Field' }, ...editable.map((f) => el('option', { value: f }, fieldNames[f])));
    const value = el('input', { 'aria-label': 'New value' });
    field.addEventListener('change', () => { value.value = chosen[field.value] || ''; });
    value.value = chosen[field.value] || '';
    detail.replaceChildren(
      el('h2', [chosen.firstName, chosen.lastName].filter(Boolean).join(' ') || '(no name)'),
      el('table', {}, el('tbody', {}, ...editable.filter((k) => chosen[k])
        .map((k) => el('tr', {}, el('th', fieldNames[k]), el('td', chosen[k]))))),
      el('form', {
        class: 'row',
        onsubmit: async (e) => {
          e.preventDefault();
          try {
            await api(phonePath(`contacts/${chosen.id}`), { method: 'PATCH', body: { field: field.value, value: value.value } });
            chosen[field.value] = value.value;
            setStatus(`changed ${fieldNames[field.value].toLowerCase()}`);
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
      : [el('tr', {}, el('td', { colspan: 3 }, 'No events this month.', r.last ? [
        ` The phone's events run from ${r.first} to ${r.last}. `,
        el('button', { onclick: () => { month.value = r.last; load(); } }, `Show ${r.last}`)] : ''))]));
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
  }, title, el('label', { class: 'row' }, 'Start', start), el('label', { class: 'row' }, 'End', end), where,
  el('button', { class: 'primary', type: 'submit' }, 'Add event'));
  load();
  return el('section', { class: 'scroll' }, el('h1', 'Calendar'), el('label', { class: 'row' }, 'Month', month), add,
    el('table', {}, head([['Start', '160px'], ['Title', '55%'], ['Where']]), body));
}
