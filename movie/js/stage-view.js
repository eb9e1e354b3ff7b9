// The stage: the area over which the native canvas draws the layout as it
// forms ("UpdateVornidaCanvasPos", in CSS pixels), the finished preview
// picture that the page shows in its place ("HideVCCanvas"), and the empty
// state before there is anything to show.

import { call } from './bridge.js';
import { fileUrl } from './files.js';
import { getState, subscribe, update } from './state.js';
import { t } from './strings.js';

let reported = '';

// Tells the native side where the canvas goes, whenever the area changes.
export function reportCanvasArea() {
  const area = document.getElementById('canvas-area');
  const r = area.getBoundingClientRect();
  const box = [Math.round(r.left), Math.round(r.top), Math.round(r.width), Math.round(r.height)];
  const key = box.join(',');
  if (key === reported || box[2] <= 0 || box[3] <= 0) return;
  reported = key;
  area.dataset.canvasArea = key;
  call('UpdateVornidaCanvasPos', ...box);
}

let shownVersion = 0;

function render(state) {
  const image = document.getElementById('preview-image');
  const preview = state.preview;
  // A new preview picture: load it, then show it in place of the native canvas.
  if (preview && preview.version !== shownVersion && !state.previewing) {
    shownVersion = preview.version;
    const url = fileUrl(preview.path, preview.version);
    const loader = new Image();
    loader.onload = () => {
      if (shownVersion !== preview.version) return;
      image.src = url;
      update({ previewShown: true });
      call('HideVCCanvas');
    };
    loader.onerror = () => update({ previewShown: false });
    loader.src = url;
  }
  image.hidden = !state.previewShown;
  image.classList.toggle('stale', state.previewShown && !state.haveCollage && !state.previewing);
  image.alt = state.previewShown ? t('ui.stage.previewAlt') : '';

  document.getElementById('stage-working').hidden = !(state.previewing && !state.previewShown);
  renderLayoutMessage(state);
  const empty = document.getElementById('empty-state');
  const nothing = !state.previewShown && !state.previewing;
  empty.hidden = !nothing;
  if (nothing) {
    const hasPhotos = state.photos.length > 0;
    document.getElementById('empty-title').textContent = t(hasPhotos ? 'ui.stage.readyTitle' : 'ui.stage.emptyTitle');
    document.getElementById('empty-text').textContent = hasPhotos
      ? t('ui.stage.readyText', { count: state.photos.length })
      : t('ui.stage.emptyText');
    const action = document.getElementById('empty-action');
    action.dataset.action = hasPhotos ? 'make' : 'add-photos';
    action.querySelector('span').textContent = t(hasPhotos ? 'ui.action.make' : 'ui.photos.add');
    action.querySelector('use').setAttribute('href', hasPhotos ? '#i-make' : '#i-plus');
  }
}

// Why the last run made no collage, else what it had to change, above the
// preview; nothing while all is well.
function renderLayoutMessage(state) {
  const message = document.getElementById('layout-message');
  const problem = state.layoutProblem;
  const text = problem || state.layoutNotes.join(' ');
  message.hidden = text === '';
  message.classList.toggle('error', problem !== '');
  message.setAttribute('role', problem ? 'alert' : 'status');
  document.getElementById('layout-message-icon').setAttribute('href', problem ? '#i-alert' : '#i-info');
  document.getElementById('layout-message-text').textContent = text;
}

export function initStageView() {
  const area = document.getElementById('canvas-area');
  new ResizeObserver(reportCanvasArea).observe(area);
  addEventListener('resize', reportCanvasArea);
  subscribe(render);
  render(getState());
}
