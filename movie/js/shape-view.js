// The Shape section: the four shapes, the picture of a custom shape, and the
// text with its font for a text shape (with a live preview of the picture
// that will be sent).

import { call } from './bridge.js';
import { fileUrl } from './files.js';
import { abilities, getState, subscribe, update } from './state.js';
import { t } from './strings.js';
import { drawText } from './text-shape.js';

function baseName(path) {
  return path.slice(path.lastIndexOf('/') + 1);
}

export async function browseCustomShape(run) {
  await run(() => call('BrowseCustomShape'));
}

// setCustomShape: the chosen silhouette becomes the shape.
export function customShapeChosen(path) {
  if (!path) return;
  update({ settings: { shapeImage: path, shapeType: 'Image' } });
}

let lastPreview = '';

function render(state) {
  const s = state.settings;
  const thumb = document.getElementById('shape-thumb');
  if (s.shapeImage) {
    const url = fileUrl(s.shapeImage);
    if (thumb.getAttribute('src') !== url) thumb.src = url;
    thumb.hidden = false;
    document.getElementById('shape-name').textContent = baseName(s.shapeImage);
    document.getElementById('shape-name').title = s.shapeImage;
  } else {
    thumb.hidden = true;
    document.getElementById('shape-name').textContent = t('ui.shape.noPicture');
  }
  document.getElementById('browse-shape').disabled = !abilities(state).browse;

  const key = `${s.shapeFont}\u0000${s.shapeText}`;
  if (s.shapeType === 'Text' && key !== lastPreview) {
    lastPreview = key;
    const preview = document.getElementById('text-preview');
    const canvas = drawText(s.shapeText, s.shapeFont);
    preview.hidden = !canvas;
    if (canvas) preview.src = canvas.toDataURL('image/png');
  }
  const hint = document.getElementById('shape-text-hint');
  const emptyText = s.shapeType === 'Text' && s.shapeText.trim() === '';
  hint.hidden = !emptyText;
  if (emptyText) hint.textContent = t('ui.shape.textEmpty');
}

export function initShapeView() {
  subscribe(render);
  render(getState());
}
