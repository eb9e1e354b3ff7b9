// The functions the native side calls on the page: notifications of the
// work it does, the status strip, the pictures it hands over, texts by key,
// and the answers of the add-photos and open-project flows.

import { addCallback } from './bridge.js';
import { parsePhotoText } from './photo-text.js';
import { getState, update } from './state.js';
import { lookup } from './strings.js';
import { MOVIE_VERSION } from './version.js';

// What other modules do when a flow reports back; main.js fills these in.
export const hooks = {
  photoAdded: () => {},
  importDone: () => {},
  previewingDone: () => {},
  projectText: () => {},
  layoutRestored: () => {},
  projectPhotosMissing: () => {},
  customShape: () => {},
  backgroundFile: () => {},
};

let previewVersion = 0;

// Lower-cased paths of the listed photos, for the duplicate check of a big
// import; rebuilt whenever the list was changed elsewhere.
let known = { photos: null, paths: new Set() };

function knownPaths(photos) {
  if (known.photos !== photos) known = { photos, paths: new Set(photos.map((p) => p.src.toLowerCase())) };
  return known.paths;
}

function truthy(value) {
  return value === true || value === 1 || value === '1' || value === 'true' || value === 'TRUE';
}

function notify(event, value) {
  const on = truthy(value);
  switch (event) {
    case 'importing':
      update({ importing: on });
      if (!on) hooks.importDone();
      break;
    case 'previewing':
      // A new run starts with nothing to say about it yet.
      update(on ? { previewing: true, haveCollage: false, layoutProblem: '', layoutNotes: [] } : { previewing: false });
      if (!on) hooks.previewingDone();
      break;
    case 'layoutFailed':
      update({ layoutProblem: String(value ?? '') });
      break;
    case 'layoutNote':
      update({ layoutNotes: [...getState().layoutNotes, String(value ?? '')] });
      break;
    case 'layoutSeed':
      update({ layoutSeed: /^\d+$/.test(String(value)) ? String(value) : null });
      break;
    case 'canUndoLayout':
      update({ canUndoLayout: on });
      break;
    case 'canRedoLayout':
      update({ canRedoLayout: on });
      break;
    case 'layoutRestored':
      hooks.layoutRestored(String(value ?? ''));
      break;
    case 'projectPhotosMissing':
      hooks.projectPhotosMissing(String(value ?? '').split('\n').filter((path) => path !== ''));
      break;
    case 'haveCreateCollage':
      update({ haveCollage: on, madeOnce: getState().madeOnce || on });
      break;
    case 'saving':
      update({ saving: on });
      break;
    default:
      break;
  }
}

export function installMovieFunctions() {
  addCallback('notify', (event, value) => notify(String(event), value));

  addCallback('setProgressVisual', (visible) => {
    update({ progress: { ...getState().progress, visible: truthy(visible) } });
  });
  addCallback('setProgress', (position) => {
    const value = Number(position) || 0;
    update({ progress: { ...getState().progress, value, visible: true } });
  });
  addCallback('setProgressMaximum', (maximum) => {
    update({ progress: { ...getState().progress, max: Number(maximum) || 0, visible: true } });
  });
  addCallback('setInfoText', (text) => update({ infoText: String(text ?? '') }));
  addCallback('setStateText', (text) => update({ stateText: String(text ?? '') }));

  addCallback('setBackgroundFile', (path) => hooks.backgroundFile(String(path ?? '')));
  addCallback('setCustomShape', (path) => hooks.customShape(String(path ?? '')));
  addCallback('setShapePreview', (path) => {
    update({ preview: { path: String(path ?? ''), version: ++previewVersion } });
  });
  // The native canvas shows again (a layout is forming): the page's copy of
  // the last preview makes way for it.
  addCallback('clearPreviewShape', () => update({ previewShown: false }));

  // Unknown keys answer nothing, so that the native side can use its own
  // fallback text.
  addCallback('getStr', (key) => lookup(String(key ?? '')));
  addCallback('getVerStr', () => MOVIE_VERSION);

  addCallback('openProjectCallBack', (text) => hooks.projectText(String(text ?? '')));

  addCallback('openAddPhotosDlgCallBack', (text) => {
    const photo = parsePhotoText(String(text ?? ''));
    if (!photo) return;
    const photos = getState().photos;
    const paths = knownPaths(photos);
    if (paths.has(photo.src.toLowerCase())) return;
    // Appending keeps the finished collage valid: its items point at the
    // photos before the new ones.
    const longer = [...photos, photo];
    paths.add(photo.src.toLowerCase());
    known.photos = longer;
    update({ photos: longer });
    hooks.photoAdded(photo);
  });
}
