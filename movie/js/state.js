// The page's state: the collage settings, the photo list, what the native
// side is busy with, and the texts of the status strip. One store; views
// subscribe and redraw from it.

import { DEFAULTS } from './params.js';

const state = {
  settings: { ...DEFAULTS },
  photos: [], // { name, src, thumb } in list order
  importing: false,
  previewing: false,
  saving: false,
  haveCollage: false, // the last layout finished and still matches the photo list
  madeOnce: false, // a collage was made in this project: changes re-run it
  dialog: false, // a command with a native dialog is waiting for the user
  preview: null, // { path, version } of the finished preview picture
  layoutSeed: null, // the shown layout's seed, as the native side told it (decimal text)
  canUndoLayout: false, // an earlier layout of this session can be made again
  canRedoLayout: false, // a later one, after going back
  layoutProblem: '', // why the last run made no collage
  layoutNotes: [], // what the last run had to change (a reduced canvas)
  previewShown: false, // the page shows the preview picture rather than the native canvas
  stateText: '',
  infoText: '',
  progress: { value: 0, max: 100, visible: false },
  invalid: new Set(), // controls holding a value that is refused
  section: 'photos',
  maximized: true,
};

const listeners = new Set();
let scheduled = false;

export function getState() {
  return state;
}

// Applies a change and lets the subscribers redraw once per frame.
export function update(change) {
  if (change.settings) {
    state.settings = { ...state.settings, ...change.settings };
    const { settings, ...rest } = change;
    Object.assign(state, rest);
  } else {
    Object.assign(state, change);
  }
  notify();
}

export function notify() {
  if (scheduled) return;
  scheduled = true;
  queueMicrotask(() => {
    scheduled = false;
    for (const fn of listeners) fn(state);
  });
}

export function subscribe(fn) {
  listeners.add(fn);
  return () => listeners.delete(fn);
}

// What the user may do now; every control takes its enabled state from here.
export function abilities(s = state) {
  const settled = !s.previewing && !s.saving && !s.dialog;
  const shapeReady =
    (s.settings.shapeType !== 'Image' || s.settings.shapeImage !== '') &&
    (s.settings.shapeType !== 'Text' || s.settings.shapeText.trim() !== '');
  const backgroundReady = s.settings.backgroundType !== 'Image' || s.settings.backgroundFile !== '';
  const valid = s.invalid.size === 0;
  return {
    editPhotos: settled,
    addPhotos: settled,
    make: settled && !s.importing && s.photos.length > 0 && valid && shapeReady && backgroundReady,
    saveCollage: settled && !s.importing && s.haveCollage && valid,
    newLayout: settled && !s.importing && s.photos.length > 0 && valid && shapeReady && backgroundReady && s.madeOnce,
    undoLayout: settled && !s.importing && s.canUndoLayout,
    redoLayout: settled && !s.importing && s.canRedoLayout,
    newProject: settled,
    openProject: settled,
    saveProject: !s.dialog && valid,
    browse: !s.dialog,
    shapeReady,
    backgroundReady,
    valid,
  };
}
