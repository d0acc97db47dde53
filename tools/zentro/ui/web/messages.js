// Conversations: the list (virtual, paged from the server), one conversation, search, send.
import { el, api, phonePath, showError, setStatus } from './ui.js';
import { VirtualList } from './vlist.js';

export function messagesPage() {
  let query = '';
  let open = null;
  let inside = '';
  const started = performance.now();
  let firstScreen = true;

  const conversations = new VirtualList({
    fetchPage: async (offset, limit) => {
      const result = await api(phonePath(`conversations?offset=${offset}&limit=${limit}&q=${encodeURIComponent(query)}`));
      if (firstScreen) {
        firstScreen = false;
        document.body.dataset.firstScreenMs = String(Math.round(performance.now() - started));
      }
      count.textContent = `${result.total} conversation${result.total === 1 ? '' : 's'}`;
      return result;
    },
    render: (c) => el('div', { data: { address: c.address } },
      el('div', {}, el('strong', c.name || c.address), c.name ? ` ${c.address}` : '', ` (${c.count})`),
      el('div', { class: 'sub' }, `${c.date}  ${c.body}`)),
    onPick: (c) => { open = c; inside = ''; insideBox.value = ''; showConversation(); },
    empty: () => (query ? 'No conversation matches the search.' : 'No messages on this phone.'),
  });
  const thread = new VirtualList({
    rowHeight: 60,
    fetchPage: (offset, limit) => {
      if (!open) return Promise.resolve({ total: 0, items: [] });
      const q = inside;
      return api(phonePath(`messages?address=${encodeURIComponent(open.address)}&q=${encodeURIComponent(q)}&offset=${offset}&limit=${limit}`))
        .then((result) => { insideBox.dataset.shown = q; return result; }); // what the list below shows
    },
    render: (m) => el('div', { class: m.type === '2' ? 'msg msg-out' : 'msg' },
      el('div', { class: 'sub' }, `${m.type === '2' ? 'sent' : 'received'} ${m.date || ''}`),
      el('div', { class: 'body' }, m.body || '')),
    empty: () => (open ? (inside ? 'No message here matches the search.' : 'No messages.') : ''),
  });

  const count = el('span', { class: 'sub' }, 'loading messages...');
  const title = el('h1', 'Choose a conversation');
  let timer = null;
  const debounce = (fn) => { clearTimeout(timer); timer = setTimeout(fn, 200); };
  const searchBox = el('input', {
    type: 'search', placeholder: 'Search names, numbers and messages', 'aria-label': 'Search conversations', class: 'grow',
    oninput: () => debounce(() => { query = searchBox.value; conversations.reset().catch(showError); }),
  });
  const insideBox = el('input', {
    type: 'search', placeholder: 'Search in this conversation', 'aria-label': 'Search in this conversation',
    oninput: () => debounce(() => { inside = insideBox.value; thread.reset().catch(showError); }),
  });
  const to = el('input', { placeholder: 'Number', 'aria-label': 'Number' });
  const text = el('input', { placeholder: 'Message', 'aria-label': 'Message', class: 'grow' });
  const send = el('form', {
    class: 'row',
    onsubmit: async (e) => {
      e.preventDefault();
      try {
        await api(phonePath('messages'), { method: 'POST', body: { address: to.value, body: text.value } });
        setStatus(`sent to ${to.value}`);
        text.value = '';
        conversations.reset();
        if (open && open.address === to.value) thread.reset();
      } catch (error) { showError(error); }
    },
  }, to, text, el('button', { class: 'primary', type: 'submit' }, 'Send'));

  function showConversation() {
    title.textContent = open.name ? `${open.name} (${open.address})` : open.address;
    to.value = open.address;
    thread.reset().catch(showError);
  }

  conversations.reset().catch((error) => { count.textContent = ''; showError(error); });
  return el('div', { class: 'split' },
    el('section', { class: 'pane-list' }, el('div', { class: 'row' }, searchBox, count), conversations.node),
    el('section', { class: 'pane-detail' }, title, insideBox, thread.node, send));
}
