// Photos, music and videos: a grid with thumbnails, download, upload by dropping, delete.
import { el, api, phonePath, showError, setStatus, dropZone, uploadFile, formatBytes } from './ui.js';

const titles = { photos: 'Photos', music: 'Music', videos: 'Videos' };

export function mediaPage(family) {
  const grid = el('div', { class: 'grid' }, 'loading...');
  const load = () => api(phonePath(`media/${family}`)).then((items) => {
    grid.replaceChildren(...items.map((item) => el('div', { class: 'tile', data: { id: String(item.id), name: item.name } },
      family === 'photos'
        ? el('img', { src: phonePath(`media/photos/${item.id}/thumb`), alt: item.title || item.name, loading: 'lazy' })
        : el('div', { class: 'icon' }, family === 'music' ? '\u266a' : '\u25b6'),
      el('div', { class: 'name', title: item.path }, item.name),
      el('div', { class: 'sub size' }, formatBytes(item.size)),
      el('div', { class: 'row' },
        el('a', { href: phonePath(`media/${family}/${item.id}/file`), download: item.name }, 'Download'),
        el('button', {
          onclick: async () => {
            if (!confirm(`Delete ${item.name} from the phone?`)) return;
            try { await api(phonePath(`media/${family}/${item.id}`), { method: 'DELETE' }); load(); }
            catch (error) { showError(error); }
          },
        }, 'Delete')))));
    if (!items.length) grid.replaceChildren(el('p', 'Nothing here yet.'));
  }).catch(showError);
  const drop = dropZone(`Drop files here to add them to ${titles[family]}, or choose:`, '', async (file) => {
    setStatus(`uploading ${file.name} (${formatBytes(file.size)})...`);
    try {
      const done = await uploadFile(phonePath(`media/${family}/upload`), file);
      setStatus(`uploaded ${done.uploaded}`);
      load();
    } catch (error) { showError(error); }
  });
  load();
  return el('section', { class: 'pane-detail' }, el('h1', titles[family]), drop, grid);
}
