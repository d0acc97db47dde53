// Shared helpers of the page. Phone text only ever reaches the page as text nodes: el() makes
// every string child a text node, and nothing here writes markup.

export function el(tag, props = {}, ...children) {
  if (props === null || typeof props !== 'object' || props instanceof Node || Array.isArray(props)) {
    children.unshift(props);
    props = {};
  }
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(props)) {
    if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
    else if (key === 'class') node.className = value;
    else if (key === 'data') Object.assign(node.dataset, value);
    else if (key in node && typeof value !== 'string') node[key] = value;
    else node.setAttribute(key, value);
  }
  for (const child of children.flat()) {
    if (child === null || child === undefined || child === false) continue;
    node.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
  return node;
}

export const state = { device: 0, phones: [] };

export class ApiError extends Error {
  constructor(status, message) { super(message); this.status = status; }
}

// Same-origin requests: the cookie carries the token, the browser adds the Origin.
export async function api(path, { method = 'GET', body, headers = {} } = {}) {
  const init = { method, headers: { ...headers }, credentials: 'same-origin' };
  if (body !== undefined && !(body instanceof Blob)) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  } else if (body !== undefined) {
    init.body = body;
  }
  const response = await fetch(path, init);
  const text = await response.text();
  let data = null;
  try { data = text ? JSON.parse(text) : null; } catch { data = { error: text }; }
  if (!response.ok) throw new ApiError(response.status, (data && data.error) || response.statusText);
  return data;
}

export const phonePath = (rest) => `/api/phones/${state.device}/${rest}`;

export function setStatus(text, isError = false) {
  const bar = document.getElementById('status');
  bar.replaceChildren(el('span', { class: isError ? 'error' : '' }, text));
}

export function showError(error) { setStatus(error.message || String(error), true); }

// One EventSource for the page; listeners by event type.
const listeners = new Map();
let source = null;
export function on(type, handler) {
  if (!listeners.has(type)) listeners.set(type, new Set());
  listeners.get(type).add(handler);
  if (source) source.addEventListener(type, dispatch);
  return () => listeners.get(type).delete(handler);
}
function dispatch(event) {
  const data = JSON.parse(event.data);
  for (const handler of listeners.get(event.type) || []) handler(data);
}
export function connectEvents() {
  source = new EventSource('/api/events');
  for (const type of listeners.keys()) source.addEventListener(type, dispatch);
}

// A table head whose columns keep the given widths ('' shares the rest), whatever a phone's
// texts in the rows below are.
// (Through the style object: the page's policy refuses style attributes.)
export const head = (columns) => el('thead', {}, el('tr', {}, ...columns.map(([title, width]) => {
  const th = el('th', title);
  if (width) th.style.width = width;
  return th;
})));

export function formatBytes(bytes) {
  if (bytes < 1024) return `${bytes} B`;
  const units = ['KiB', 'MiB', 'GiB'];
  let value = bytes / 1024, unit = 0;
  while (value >= 1024 && unit < units.length - 1) { value /= 1024; unit++; }
  return `${value.toFixed(1)} ${units[unit]}`;
}

// A drop area with a file input beside it: each file goes to `send(file)` in turn.
export function dropZone(label, accept, send) {
  const input = el('input', { type: 'file', multiple: true, accept, 'aria-label': label });
  const zone = el('div', { class: 'drop' }, label, ' ', input);
  const take = async (files) => { for (const file of files) await send(file); };
  input.addEventListener('change', () => { take([...input.files]); input.value = ''; });
  zone.addEventListener('dragover', (e) => { e.preventDefault(); zone.classList.add('over'); });
  zone.addEventListener('dragleave', () => zone.classList.remove('over'));
  zone.addEventListener('drop', (e) => {
    e.preventDefault();
    zone.classList.remove('over');
    take([...e.dataTransfer.files]);
  });
  return zone;
}

// Sends one file as the request body; the name travels percent-encoded in a header.
export function uploadFile(path, file) {
  return api(path, { method: 'POST', body: file, headers: { 'X-File-Name': encodeURIComponent(file.name) } });
}

// Progress of the library's long calls, shown in the status bar with a cancel button.
export function progressBar() {
  const bar = el('progress', { max: 100, value: 0 });
  const label = el('span');
  const cancel = el('button', { onclick: () => api('/api/cancel', { method: 'POST' }).catch(showError) }, 'Cancel');
  const box = el('span', { class: 'row', hidden: true }, label, bar, cancel);
  on('progress', (p) => {
    box.hidden = p.final;
    label.textContent = `${p.task} ${p.kind}`;
    bar.max = Math.max(p.total, 1);
    bar.value = Math.max(0, Math.min(p.done, bar.max));
  });
  return box;
}
