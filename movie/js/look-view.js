// The Look section's picture background and the Items section's note; the
// rest of both sections are plain bound controls.

import { fileUrl } from './files.js';
import { abilities, getState, subscribe, update } from './state.js';
import { t } from './strings.js';

export function backgroundChosen(path) {
  if (!path) return;
  update({ settings: { backgroundFile: path, backgroundType: 'Image' } });
}

function render(state) {
  const s = state.settings;
  const thumb = document.getElementById('background-thumb');
  const name = document.getElementById('background-name');
  if (s.backgroundFile) {
    const url = fileUrl(s.backgroundFile);
    if (thumb.getAttribute('src') !== url) thumb.src = url;
    thumb.hidden = false;
    name.textContent = s.backgroundFile.slice(s.backgroundFile.lastIndexOf('/') + 1);
    name.title = s.backgroundFile;
  } else {
    thumb.hidden = true;
    name.textContent = t('ui.look.noPicture');
  }
  document.getElementById('browse-background').disabled = !abilities(state).browse;
  document.getElementById('item-size-note').hidden = !(s.canvasMode === 'aspect' && s.itemSizeMode === 'auto');
}

export function initLookView() {
  // Typing a count or a size means using it.
  document.getElementById('item-count').addEventListener('focus', () => update({ settings: { itemsMode: 'count' } }));
  document.getElementById('item-size').addEventListener('focus', () => update({ settings: { itemSizeMode: 'px' } }));
  subscribe(render);
  render(getState());
}
