// The Photos section: the grid of thumbnails (arriving one by one while an
// import runs), the count, removing one photo or all of them, and swapping
// two photos' places (drag one onto the other, or Alt+arrow keys), which
// the next layout follows.

import { call } from './bridge.js';
import { fileUrl } from './files.js';
import { confirmBox } from './message-box.js';
import { abilities, getState, subscribe, update } from './state.js';
import { t } from './strings.js';

const tiles = new Map(); // src -> <li>

function makeTile(photo) {
  const li = document.createElement('li');
  li.className = 'photo-tile';
  li.tabIndex = 0;
  li.dataset.src = photo.src;
  li.title = photo.name;
  li.setAttribute('aria-label', photo.name);
  li.setAttribute('aria-keyshortcuts', 'Delete Alt+ArrowLeft Alt+ArrowRight Alt+ArrowUp Alt+ArrowDown');
  li.draggable = false;
  const img = document.createElement('img');
  img.alt = '';
  img.loading = 'lazy';
  img.decoding = 'async';
  img.src = fileUrl(photo.thumb);
  const name = document.createElement('span');
  name.className = 'photo-name';
  name.textContent = photo.name;
  const remove = document.createElement('button');
  remove.type = 'button';
  remove.className = 'photo-remove';
  remove.tabIndex = -1;
  remove.disabled = !removable;
  remove.setAttribute('aria-label', t('ui.photos.remove', { name: photo.name }));
  remove.title = t('ui.photos.remove', { name: photo.name });
  remove.innerHTML = '<svg class="icon"><use href="#i-close"/></svg>';
  remove.addEventListener('click', (event) => {
    event.stopPropagation();
    removePhoto(photo.src);
  });
  li.append(img, name, remove);
  return li;
}

export async function removePhoto(src) {
  if (!abilities().editPhotos) return;
  const photos = getState().photos;
  const index = photos.findIndex((p) => p.src === src);
  if (index < 0) return;
  // Keep the keyboard where it was: on the next tile, or the one before.
  const focusNext = document.activeElement?.closest?.('.photo-tile')?.dataset.src === src;
  update({ photos: photos.filter((p) => p.src !== src), haveCollage: false });
  await call('RemovePhoto', src);
  if (focusNext) {
    const rest = getState().photos;
    const next = rest[Math.min(index, rest.length - 1)];
    (next ? tiles.get(next.src) : document.querySelector('[data-action="add-photos"]'))?.focus();
  }
}

// Swaps the places of two photos, in the list here and on the native side.
export async function swapPhotos(first, second) {
  if (first === second || !abilities().editPhotos) return false;
  if ((await call('SwapPhotos', first, second)) !== true) return false;
  const photos = [...getState().photos];
  const a = photos.findIndex((p) => p.src === first);
  const b = photos.findIndex((p) => p.src === second);
  if (a < 0 || b < 0) return false;
  [photos[a], photos[b]] = [photos[b], photos[a]];
  // The collage on show was laid out from the old order.
  update({ photos, haveCollage: false });
  return true;
}

export async function removeAllPhotos({ ask = true } = {}) {
  const photos = getState().photos;
  if (photos.length === 0) return true;
  if (ask && !(await confirmBox(t('ui.photos.removeAllQuestion', { count: photos.length })))) return false;
  update({ photos: [], haveCollage: false });
  for (const photo of photos) await call('RemovePhoto', photo.src);
  return true;
}

let rendered = [];
let removable = true;

// Lays the tiles out as the list says. An import only appends, so that case
// adds the new tiles alone; anything else (a removal, a swap) goes through
// the whole list.
function layTiles(grid, photos) {
  const appended =
    photos.length > rendered.length &&
    (rendered.length === 0 || (photos[0] === rendered[0] && photos[rendered.length - 1] === rendered.at(-1)));
  if (appended) {
    for (const photo of photos.slice(rendered.length)) {
      const li = makeTile(photo);
      tiles.set(photo.src, li);
      grid.append(li);
    }
    rendered = photos;
    return;
  }
  const wanted = new Set(photos.map((p) => p.src));
  for (const [src, li] of tiles) {
    if (!wanted.has(src)) {
      li.remove();
      tiles.delete(src);
    }
  }
  let previous = null;
  for (const photo of photos) {
    let li = tiles.get(photo.src);
    if (!li) {
      li = makeTile(photo);
      tiles.set(photo.src, li);
    }
    const expectedPosition = previous ? previous.nextSibling : grid.firstChild;
    if (li !== expectedPosition) grid.insertBefore(li, expectedPosition);
    previous = li;
  }
  rendered = photos;
}

function render(state) {
  const grid = document.getElementById('photo-grid');
  if (state.photos !== rendered) layTiles(grid, state.photos);
  const can = abilities(state);
  const count = state.photos.length;
  grid.hidden = count === 0;
  document.getElementById('dropzone').hidden = count > 0;
  document.getElementById('photo-count').textContent =
    count === 0 ? t('ui.photos.none') : t(count === 1 ? 'ui.photos.countOne' : 'ui.photos.count', { count });
  const badge = document.getElementById('photo-badge');
  badge.hidden = count === 0;
  badge.textContent = count > 999 ? '999+' : String(count);
  document.getElementById('remove-all').disabled = count === 0 || !can.editPhotos;
  document.getElementById('import-line').hidden = !state.importing;
  document.getElementById('order-hint').hidden = count < 2;
  if (removable !== can.editPhotos) {
    removable = can.editPhotos;
    for (const button of grid.querySelectorAll('.photo-remove')) button.disabled = !removable;
  }
}

export function initPhotosView() {
  const grid = document.getElementById('photo-grid');
  // Delete or Backspace removes the focused photo; arrows move between tiles.
  grid.addEventListener('keydown', (event) => {
    const tile = event.target.closest('.photo-tile');
    if (!tile) return;
    if (event.key === 'Delete' || event.key === 'Backspace') {
      event.preventDefault();
      removePhoto(tile.dataset.src);
      return;
    }
    const columns = getComputedStyle(grid).gridTemplateColumns.split(' ').length;
    const all = [...grid.children];
    // Alt+arrow: the photo changes places with its neighbour that way, and
    // the keyboard stays with it.
    const swapStep = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -columns, ArrowDown: columns }[event.key];
    if (event.altKey && swapStep !== undefined) {
      event.preventDefault();
      const other = all[all.indexOf(tile) + swapStep];
      if (other) swapPhotos(tile.dataset.src, other.dataset.src).then(() => tiles.get(tile.dataset.src)?.focus());
      return;
    }
    const step = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -columns, ArrowDown: columns, Home: -Infinity, End: Infinity }[event.key];
    if (step === undefined) return;
    event.preventDefault();
    const index = Math.max(0, Math.min(all.length - 1, all.indexOf(tile) + (Number.isFinite(step) ? step : step > 0 ? all.length : -all.length)));
    all[index].focus();
  });
  // A photo dragged onto another swaps their places. Done with pointer
  // events rather than the system's drag and drop, which the desktop window
  // keeps for files dropped onto it.
  const DRAG_START_PX = 5;
  let drag = null; // { src, tile, x, y, moving, target }
  const clearTarget = () => {
    drag?.target?.classList.remove('drop-target');
    if (drag) drag.target = null;
  };
  const endDrag = () => {
    if (!drag) return;
    clearTarget();
    drag.tile.classList.remove('drag-source');
    grid.classList.remove('sorting');
    drag = null;
  };
  grid.addEventListener('pointerdown', (event) => {
    const tile = event.target.closest('.photo-tile');
    if (!tile || event.button !== 0 || event.target.closest('.photo-remove') || !abilities().editPhotos) return;
    drag = { src: tile.dataset.src, tile, x: event.clientX, y: event.clientY, moving: false, target: null };
    tile.setPointerCapture(event.pointerId);
  });
  grid.addEventListener('pointermove', (event) => {
    if (!drag) return;
    if (!drag.moving) {
      if (Math.hypot(event.clientX - drag.x, event.clientY - drag.y) < DRAG_START_PX) return;
      drag.moving = true;
      drag.tile.classList.add('drag-source');
      grid.classList.add('sorting');
    }
    const over = document.elementFromPoint(event.clientX, event.clientY)?.closest('.photo-tile');
    const target = over && over !== drag.tile && grid.contains(over) ? over : null;
    if (target !== drag.target) {
      clearTarget();
      drag.target = target;
      target?.classList.add('drop-target');
    }
  });
  grid.addEventListener('pointerup', () => {
    if (!drag) return;
    const { src, target, moving } = drag;
    endDrag();
    if (moving && target) swapPhotos(src, target.dataset.src);
  });
  grid.addEventListener('pointercancel', endDrag);
  grid.addEventListener('lostpointercapture', endDrag);
  addEventListener('keydown', (event) => {
    if (event.key === 'Escape' && drag?.moving) endDrag();
  });
  // Files dragged over the window: the host imports what is dropped; the
  // page only shows where.
  let depth = 0;
  const app = document.getElementById('app');
  const hasFiles = (event) => [...(event.dataTransfer?.types ?? [])].includes('Files');
  document.addEventListener('dragenter', (event) => {
    if (!hasFiles(event)) return;
    ++depth;
    app.classList.add('dragging');
  });
  document.addEventListener('dragleave', () => {
    depth = Math.max(0, depth - 1);
    if (depth === 0) app.classList.remove('dragging');
  });
  document.addEventListener('drop', () => {
    depth = 0;
    app.classList.remove('dragging');
  });
  subscribe(render);
  render(getState());
}
