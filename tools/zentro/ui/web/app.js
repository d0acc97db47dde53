// zentro ui: one page, one view at a time, chosen by the address's #fragment.
import { el, state, api, on, connectEvents, showError, setStatus, progressBar } from './ui.js';
import { phonesPage } from './phones.js';
import { messagesPage } from './messages.js';
import { callsPage, contactsPage, calendarPage } from './records.js';
import { appsPage } from './apps.js';
import { mediaPage } from './media.js';
import { backupPage, restorePage } from './backup.js';

const pages = {
  phones: ['Phones', phonesPage],
  messages: ['Conversations', messagesPage],
  calls: ['Calls', callsPage],
  contacts: ['Contacts', contactsPage],
  calendar: ['Calendar', calendarPage],
  apps: ['Applications', appsPage],
  photos: ['Photos', () => mediaPage('photos')],
  music: ['Music', () => mediaPage('music')],
  videos: ['Videos', () => mediaPage('videos')],
  backup: ['Backup', backupPage],
  restore: ['Restore', restorePage],
};

function show() {
  const name = location.hash.slice(1) in pages ? location.hash.slice(1) : 'phones';
  for (const link of document.querySelectorAll('#nav a')) link.classList.toggle('active', link.dataset.page === name);
  const main = document.getElementById('page');
  main.replaceChildren();
  setStatus(''); // the last page's news would read as this page's
  document.body.dataset.page = name;
  try {
    main.append(pages[name][1]());
  } catch (error) {
    showError(error);
  }
}

function fillPhoneChoice(list) {
  state.phones = list.phones;
  const select = document.getElementById('phone');
  const usable = list.phones.filter((p) => p.state === 'device');
  if (!usable.some((p) => p.index === state.device) && usable.length) state.device = usable[0].index;
  select.replaceChildren(...list.phones.map((p) =>
    el('option', { value: String(p.index), selected: p.index === state.device },
      `${p.index}: ${p.model || p.serial} (${p.state})`)));
}

document.getElementById('nav').append(...Object.entries(pages).map(([name, [title]]) =>
  el('a', { href: `#${name}`, data: { page: name } }, title)));
document.getElementById('phone').addEventListener('change', (e) => {
  state.device = Number(e.target.value);
  show();
});
// Beside the status line, not in it: a new status must not take the Cancel button away.
document.getElementById('status').after(el('div', { class: 'progress-line' }, progressBar()));
on('phones', fillPhoneChoice);
connectEvents();
window.addEventListener('hashchange', show);
api('/api/phones').then((list) => { fillPhoneChoice(list); show(); }).catch(showError);
