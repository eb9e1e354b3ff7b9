// Start of the main window's page: texts, views, the functions the native
// side calls, the remembered settings; then "LoadComplete", after which the
// host shows the window. window.vornidaReady turns true at that moment and
// window.vornidaTimings holds how long each step took.

import { call, hasNative } from './bridge.js';
import { initActions, layoutRestored, projectPhotosMissing, projectTextArrived, workEnded } from './actions.js';
import { initCanvasView } from './canvas-view.js';
import { initControls } from './controls.js';
import { backgroundChosen, initLookView } from './look-view.js';
import { hooks, installMovieFunctions } from './movie-functions.js';
import { keepSettings, loadSettings } from './persist.js';
import { initPhotosView } from './photos-view.js';
import { initRail } from './rail.js';
import { customShapeChosen, initShapeView } from './shape-view.js';
import { initStageView, reportCanvasArea } from './stage-view.js';
import { getState, update } from './state.js';
import { initStatusView } from './status-view.js';
import { currentLanguage, loadStrings, requestedLanguage, t, translateTree } from './strings.js';
import { initTitlebar } from './titlebar.js';

const timings = { start: performance.now() };
window.vornidaTimings = timings;
window.vornidaReady = false;

// The functions are there before anything can call them.
installMovieFunctions();
hooks.importDone = workEnded;
hooks.previewingDone = workEnded;
hooks.projectText = projectTextArrived;
hooks.layoutRestored = layoutRestored;
hooks.projectPhotosMissing = projectPhotosMissing;
hooks.customShape = customShapeChosen;
hooks.backgroundFile = backgroundChosen;

async function start() {
  await loadStrings(requestedLanguage());
  document.documentElement.lang = currentLanguage();
  translateTree(document);
  document.querySelectorAll('[data-hint-for]').forEach((hint, i) => {
    hint.id ||= `hint-${i}`;
    hint.setAttribute('role', 'alert');
  });
  timings.strings = performance.now();

  const settings = hasNative() ? await loadSettings() : getState().settings;
  update({ settings });
  timings.settings = performance.now();
  // The program's own version, shown at the foot of the menu.
  call('GetVerText').then((version) => {
    if (typeof version === 'string' && version) document.getElementById('menu-version').textContent = t('ui.menu.version', { version });
  });

  initControls();
  initRail();
  initTitlebar();
  initPhotosView();
  initShapeView();
  initCanvasView();
  initLookView();
  initStageView();
  initStatusView();
  initActions();
  keepSettings();

  const app = document.getElementById('app');
  app.dataset.ready = 'true';
  // The canvas area is known once laid out (measuring lays out at once; no
  // animation frame is awaited, as the host may load the page hidden).
  reportCanvasArea();
  timings.shown = performance.now();
  await call('LoadComplete');
  timings.loadComplete = performance.now();
  window.vornidaReady = true;
  app.dataset.loaded = 'true';
}

// Faults of the page go to the native side's trace as well as the console.
const trace = (text) => call('Trace', text).catch(() => {});
addEventListener('error', (event) => trace(`page error: ${event.message} (${event.filename}:${event.lineno})`));
addEventListener('unhandledrejection', (event) => trace(`page error: ${event.reason}`));

start().catch((error) => {
  console.error('Vornida could not start its page:', error);
  trace(`page start failed: ${error}`);
  // Hand over anyway: a window with a fault is better than none.
  document.getElementById('app').dataset.ready = 'true';
  call('LoadComplete');
});
