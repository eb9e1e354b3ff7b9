// What the user can do, by name (data-action="NAME" on buttons and menu
// items, and the keyboard shortcuts): add photos, make and save the collage,
// a new layout and stepping back and forth through the layouts made,
// new / open / save projects, check for updates, the home page, quit. Also
// re-making the collage shortly after a change once a first one exists.

import { call, callDelayed } from './bridge.js';
import { MB, confirmBox, messageBox } from './message-box.js';
import { DEFAULTS, LAYOUT_FIELDS, composeParams, settingsFromParams } from './params.js';
import { removeAllPhotos, removePhoto } from './photos-view.js';
import { samePath } from './photo-text.js';
import { composeProject, readProject } from './project.js';
import { resetRefusals } from './controls.js';
import { showSection } from './rail.js';
import { abilities, getState, subscribe, update } from './state.js';
import { t } from './strings.js';
import { attr, parseXml } from './xml.js';
import { forgetTextShape, textShapePath } from './text-shape.js';

export const HOME_SITE = 'https://vornida.example/';
const RERUN_DELAY_MS = 700;

// Commands that open a native dialog run one at a time; the page waits for
// the user with everything else held back.
async function runDialog(fn) {
  if (getState().dialog) return undefined;
  update({ dialog: true });
  try {
    return await fn();
  } finally {
    update({ dialog: false });
  }
}

async function addPhotos() {
  if (!abilities().addPhotos) return;
  showSection('photos');
  await runDialog(() => call('OpenAddPhotosDlg'));
}

// The parameter text for the current settings; draws and sends the text
// shape's picture first when the shape is a text. Null when that failed.
// `seed` asks for the layout of that seed (a project's).
async function currentParams({ seed = null } = {}) {
  const s = getState().settings;
  let shapePath = '';
  if (s.shapeType === 'Text') {
    shapePath = await textShapePath(s.shapeText, s.shapeFont);
    if (!shapePath) {
      await messageBox(t('ui.shape.textFailed'), MB.ICONERROR);
      return null;
    }
  }
  return composeParams(s, { shapePath, seed });
}

// What the last "MakeShape" was made from, to see what changed since: the
// layout's settings, and the photo list (every change to it makes a new list).
let madeFrom = { settings: '', photos: null };
let rerunTimer = 0;
let rerunWanted = false;

function settingsKey(state) {
  return JSON.stringify(LAYOUT_FIELDS.map((name) => state.settings[name]));
}

function changedSinceMade(state) {
  return state.photos !== madeFrom.photos || settingsKey(state) !== madeFrom.settings;
}

// "MakeShape" (the settings' layout; a project's `seed` gives its own) or,
// with `command` "NewLayout", the same settings with a seed of its own.
async function makeCollage({ seed = null, command = 'MakeShape' } = {}) {
  if (!abilities().make) return false;
  rerunWanted = false;
  clearTimeout(rerunTimer);
  // Held back until the native side reports the run (it answers at once and
  // notifies "previewing" from its worker).
  update({ previewing: true, haveCollage: false });
  madeFrom = { settings: settingsKey(getState()), photos: getState().photos };
  const params = await currentParams({ seed });
  if (!params) {
    update({ previewing: false });
    return false;
  }
  const started = await call(command, params);
  if (started !== true) update({ previewing: false });
  return started === true;
}

function newLayout() {
  if (!abilities().newLayout) return false;
  return makeCollage({ command: 'NewLayout' });
}

// "UndoLayout" / "RedoLayout": the native side makes the recorded layout
// again and tells its settings (layoutRestored), which the controls take.
async function stepLayout(command) {
  const can = abilities();
  if (!(command === 'UndoLayout' ? can.undoLayout : can.redoLayout)) return false;
  rerunWanted = false;
  clearTimeout(rerunTimer);
  update({ previewing: true, haveCollage: false });
  const started = await call(command);
  if (started !== true) update({ previewing: false });
  return started === true;
}

// layoutRestored: the settings of the layout made again become the page's,
// without counting as a change that would re-make the collage.
export function layoutRestored(text) {
  const element = parseXml(text);
  if (!element) return;
  // What the parameter text does not carry for the layout stays as it is.
  const settings = { ...settingsFromParams((name) => attr(element, name)), jpegQuality: getState().settings.jpegQuality };
  if (settings.shapeType !== 'Text') {
    settings.shapeText = getState().settings.shapeText;
    settings.shapeFont = getState().settings.shapeFont;
  }
  resetRefusals();
  update({ settings });
  madeFrom = { settings: settingsKey(getState()), photos: getState().photos };
}

// projectPhotosMissing: the photos of the project being opened that are gone,
// said once, after the project has opened.
let missingPhotos = null;
export function projectPhotosMissing(paths) {
  if (paths.length === 0) return;
  if (openingProject) missingPhotos = paths;
  else tellMissingPhotos(paths);
}

function tellMissingPhotos(paths) {
  const shown = paths.slice(0, 12).join('\n') + (paths.length > 12 ? '\n' + t('ui.project.morePhotos', { count: paths.length - 12 }) : '');
  return messageBox(t(paths.length === 1 ? 'ui.project.photoMissing' : 'ui.project.photosMissing', { count: paths.length }) + '\n\n' + shown, MB.ICONWARNING);
}

function scheduleRerun() {
  clearTimeout(rerunTimer);
  rerunTimer = setTimeout(() => {
    rerunTimer = 0;
    const state = getState();
    if (!state.madeOnce || !changedSinceMade(state)) return;
    if (abilities().make) makeCollage();
    else if (state.previewing || state.importing || state.saving) rerunWanted = true;
  }, RERUN_DELAY_MS);
}

// After a run or an import ends: a change made meanwhile is made now.
export function workEnded() {
  if (rerunWanted || pendingMake) {
    rerunWanted = false;
    if (pendingMake && !getState().importing) {
      pendingMake = false;
      const seed = pendingSeed;
      pendingSeed = null;
      makeCollage({ seed });
      return;
    }
    scheduleRerun();
  }
}

// ---- saving the collage -------------------------------------------------------

function openSaveDialog() {
  if (!abilities().saveCollage) return;
  const dialog = document.getElementById('save-dialog');
  const psd = dialog.querySelector('input[value="psd"]');
  document.getElementById('jpeg-quality-field').hidden = psd.checked;
  dialog.showModal();
  dialog.querySelector('input[name="saveFormat"]:checked').focus();
}

async function saveCollage(psd) {
  if (!abilities().saveCollage) return;
  const params = await currentParams();
  if (!params) return;
  await runDialog(() => call('SaveShape', params, psd ? 1 : 0));
}

function initSaveDialog() {
  const dialog = document.getElementById('save-dialog');
  const form = document.getElementById('save-form');
  form.addEventListener('change', () => {
    document.getElementById('jpeg-quality-field').hidden = form.saveFormat.value === 'psd';
  });
  document.getElementById('save-cancel').addEventListener('click', () => dialog.close('cancel'));
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    if (getState().invalid.has('jpeg-quality-number')) return;
    const psd = form.saveFormat.value === 'psd';
    dialog.close('save');
    saveCollage(psd);
  });
}

// ---- projects --------------------------------------------------------------------

let projectText = null;
let pendingMake = false;
let pendingSeed = null; // the project's layout seed, for the collage made once its photos are in
let openingProject = false;

// openProjectCallBack: the document of the project being opened.
export function projectTextArrived(text) {
  projectText = text;
  const project = readProject(text);
  // Its photos are being imported now; make the collage once they are in.
  if (project.ok && project.photos.length > 0) {
    pendingMake = true;
    pendingSeed = project.seed;
  }
}

function clearCollage() {
  forgetTextShape();
  madeFrom = { settings: '', photos: null };
  update({
    haveCollage: false, madeOnce: false, preview: null, previewShown: false, stateText: '', infoText: '',
    layoutSeed: null, canUndoLayout: false, canRedoLayout: false, layoutProblem: '', layoutNotes: [],
  });
  call('HideVCCanvas');
  // The layouts of another project are not this one's to go back to.
  call('ClearLayoutHistory');
}

async function newProject() {
  if (!abilities().newProject) return;
  if (getState().photos.length > 0 && !(await confirmBox(t('ui.project.newQuestion')))) return;
  await removeAllPhotos({ ask: false });
  resetRefusals();
  update({ settings: { ...DEFAULTS } });
  clearCollage();
  pendingMake = false;
  await call('NewProject');
  showSection('photos');
}

async function openProject() {
  if (!abilities().openProject) return;
  projectText = null;
  pendingMake = false;
  pendingSeed = null;
  missingPhotos = null;
  openingProject = true;
  try {
    await runDialog(() => call('OpenProject'));
  } finally {
    openingProject = false;
  }
  const text = projectText;
  projectText = null;
  const missing = missingPhotos;
  missingPhotos = null;
  if (text === null) return; // cancelled
  const project = readProject(text);
  if (!project.ok) {
    pendingMake = false;
    await messageBox(t('ui.project.unreadable'), MB.ICONERROR);
    return;
  }
  resetRefusals();
  update({ settings: project.settings });
  clearCollage();
  // The project's photos replace the current ones: those it does not list go.
  const keep = (photo) => project.photos.some((src) => samePath(src, photo.src));
  for (const photo of getState().photos.filter((p) => !keep(p))) await removePhoto(photo.src);
  if (project.photos.length === 0) pendingMake = false;
  if (missing) await tellMissingPhotos(missing);
}

async function saveProject(saveAs) {
  if (!abilities().saveProject) return;
  const s = getState().settings;
  const shapePath = s.shapeType === 'Text' ? (await textShapePath(s.shapeText, s.shapeFont)) ?? '' : '';
  // The seed of the layout on show, when it is the one these settings and
  // photos make: opening the project shows it again.
  const seed = getState().haveCollage && !changedSinceMade(getState()) ? getState().layoutSeed : null;
  const document = composeProject(s, getState().photos.map((p) => p.src), { shapePath, seed });
  await runDialog(() => call('SaveProject', document, saveAs ? 1 : 0));
}

// ---- the rest ------------------------------------------------------------------

async function quit(command) {
  if (getState().saving && !(await confirmBox(t('ui.quit.whileSaving')))) return;
  if (command === 'exit') call('Exit');
  else call('WndSysCommand', 'SC_CLOSE');
}

const ACTIONS = {
  'add-photos': addPhotos,
  'remove-all-photos': () => abilities().editPhotos && removeAllPhotos(),
  make: () => makeCollage(),
  'new-layout': newLayout,
  'undo-layout': () => stepLayout('UndoLayout'),
  'redo-layout': () => stepLayout('RedoLayout'),
  'save-collage': openSaveDialog,
  'new-project': newProject,
  'open-project': openProject,
  'save-project': () => saveProject(false),
  'save-project-as': () => saveProject(true),
  'browse-shape': () => abilities().browse && runDialog(() => call('BrowseCustomShape')),
  'browse-background': () => abilities().browse && runDialog(() => call('BrowseBackgroundFile')),
  'check-update': () => callDelayed('CheckUpdate'),
  'home-site': () => call('OpenHomeSite', HOME_SITE),
  exit: () => quit('exit'),
  'close-window': () => quit('close'),
};

export function runAction(name) {
  const action = ACTIONS[name];
  return action ? action() : undefined;
}

const SHORTCUTS = [
  { key: 'n', action: 'new-project' },
  { key: 'o', action: 'open-project' },
  { key: 's', action: 'save-project' },
  { key: 's', shift: true, action: 'save-project-as' },
  { key: 'i', action: 'add-photos' },
  { key: 'enter', action: 'make' },
  { key: 'e', action: 'save-collage' },
  { key: 'r', action: 'new-layout' },
  // Only while the preview has the focus: elsewhere Ctrl+Z belongs to the
  // text fields.
  { key: 'z', action: 'undo-layout', inStage: true },
  { key: 'z', shift: true, action: 'redo-layout', inStage: true },
];

function onShortcut(event) {
  if (!(event.ctrlKey || event.metaKey) || event.altKey) return;
  const key = event.key.toLowerCase();
  const shortcut = SHORTCUTS.find((s) => s.key === key && Boolean(s.shift) === event.shiftKey);
  if (!shortcut) return;
  if (shortcut.inStage && !document.getElementById('stage').contains(document.activeElement)) return;
  event.preventDefault();
  if (document.querySelector('dialog[open]')) return;
  runAction(shortcut.action);
}

function actionHint(state, can) {
  if (state.dialog) return '';
  if (state.previewing) return t('ui.hint.making');
  if (state.saving) return t('ui.hint.saving');
  if (state.importing) return t('ui.hint.importing');
  if (state.photos.length === 0) return t('ui.hint.addPhotos');
  if (!can.valid) return t('ui.hint.fixValues');
  if (!can.shapeReady) return t(state.settings.shapeType === 'Image' ? 'ui.hint.choosePicture' : 'ui.hint.enterText');
  if (!can.backgroundReady) return t('ui.hint.chooseBackground');
  if (state.madeOnce) return t('ui.hint.autoMake');
  return '';
}

function render(state) {
  const can = abilities(state);
  const enabled = {
    'add-photos': can.addPhotos,
    'remove-all-photos': can.editPhotos && state.photos.length > 0,
    make: can.make,
    'new-layout': can.newLayout,
    'undo-layout': can.undoLayout,
    'redo-layout': can.redoLayout,
    'save-collage': can.saveCollage,
    'new-project': can.newProject,
    'open-project': can.openProject,
    'save-project': can.saveProject,
    'save-project-as': can.saveProject,
    'browse-shape': can.browse,
    'browse-background': can.browse,
  };
  for (const el of document.querySelectorAll('[data-action]')) {
    const on = enabled[el.dataset.action];
    if (on !== undefined) el.disabled = !on;
  }
  const make = document.getElementById('make-button');
  make.classList.toggle('busy', state.previewing);
  document.getElementById('make-label').textContent = t(state.previewing ? 'ui.action.making' : 'ui.action.make');
  document.getElementById('action-hint').textContent = actionHint(state, can);
}

export function initActions() {
  document.addEventListener('click', (event) => {
    const target = event.target.closest('[data-action]');
    if (target && !target.disabled) runAction(target.dataset.action);
  });
  addEventListener('keydown', onShortcut);
  initSaveDialog();
  subscribe(render);
  // Changes to the layout's settings or photos re-make a collage made before.
  let seen = { settings: null, photos: null };
  subscribe((state) => {
    if (!state.madeOnce || (state.settings === seen.settings && state.photos === seen.photos)) return;
    seen = { settings: state.settings, photos: state.photos };
    if (changedSinceMade(state)) scheduleRerun();
  });
  render(getState());
}
