// A list that renders only the rows in view and fetches rows page by page from the server, so
// 100,000 entries scroll as smoothly as 10.
import { el } from './ui.js';

const PAGE = 100;

export class VirtualList {
  // fetchPage(offset, limit) -> {total, items}; render(item, index) -> Node; empty: the words
  // shown when there is nothing to list (a function, so they can follow a search)
  constructor({ rowHeight = 54, fetchPage, render, onPick, empty = () => 'Nothing here.' }) {
    Object.assign(this, { rowHeight, fetchPage, render, onPick, empty });
    this.spacer = el('div', { class: 'spacer' });
    this.node = el('div', { class: 'vlist', tabindex: 0 }, this.spacer);
    this.node.addEventListener('scroll', () => this.draw());
    new ResizeObserver(() => this.draw()).observe(this.node);
    this.reset();
  }

  reset() {
    this.pages = new Map();
    this.total = null;
    this.generation = (this.generation || 0) + 1;
    this.node.scrollTop = 0;
    return this.load(0);
  }

  async load(page) {
    if (this.pages.has(page)) return this.pages.get(page);
    const generation = this.generation;
    const pending = this.fetchPage(page * PAGE, PAGE).then((result) => {
      if (generation !== this.generation) return null;
      this.total = result.total;
      this.pages.set(page, result.items);
      this.draw();
      return result.items;
    });
    this.pages.set(page, pending);
    pending.catch(() => this.pages.delete(page));
    return pending;
  }

  item(index) {
    const page = this.pages.get(Math.floor(index / PAGE));
    return Array.isArray(page) ? page[index % PAGE] : undefined;
  }

  draw() {
    const total = this.total || 0;
    this.spacer.style.height = `${total * this.rowHeight}px`;
    const first = Math.floor(this.node.scrollTop / this.rowHeight);
    const count = Math.ceil(this.node.clientHeight / this.rowHeight) + 2;
    const rows = [];
    for (let i = first; i < Math.min(total, first + count); i++) {
      const item = this.item(i);
      if (item === undefined) { this.load(Math.floor(i / PAGE)); continue; }
      const row = this.render(item, i);
      row.classList.add('vrow');
      row.style.top = `${i * this.rowHeight}px`;
      row.style.height = `${this.rowHeight}px`;
      if (this.onPick) {
        row.classList.add('pick');
        row.addEventListener('click', () => this.onPick(item, i, row));
      }
      rows.push(row);
    }
    if (this.total === 0) rows.push(el('p', { class: 'empty' }, this.empty()));
    this.spacer.replaceChildren();
    this.node.replaceChildren(this.spacer, ...rows);
  }
}
