// The test page's half of the bridge. Tests (through WebDriver) read what the
// native side called in window.vornidaCalls, choose answers with
// window.vornidaAnswers[name] (a string, or a function of the request), and
// send requests with window.vornidaSend(xml), which resolves to the answer.
const log = document.getElementById('log');

window.vornidaCalls = [];
window.vornidaAnswers = {
  getStr: (request) => {
    const key = /<string>([^<]*)<\/string>/.exec(request);
    return '<string>text of ' + (key ? key[1] : '') + '</string>';
  },
  getVerStr: '<string>3.61</string>',
};

function functionName(request) {
  const match = /<invoke name=['"]([^'"]+)['"]/.exec(request);
  return match ? match[1] : '';
}

window.vornidaExternal = function (request) {
  const name = functionName(request);
  window.vornidaCalls.push(request);
  // The latest calls only: a layout makes thousands.
  const line = document.createElement('div');
  line.textContent = 'call ' + request;
  log.append(line);
  if (log.childElementCount > 60) log.firstElementChild.remove();
  const answer = window.vornidaAnswers[name];
  if (answer === undefined) return '';
  if (typeof answer === 'function') return answer(request);
  return answer;
};

window.vornidaSend = function (request) {
  return window.webkit.messageHandlers.vornida.postMessage(request);
};

window.vornidaInvoke = function (name, ...args) {
  const escape = (text) => String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
  const body = args.map((arg) => '<string>' + escape(arg) + '</string>').join('');
  return window.vornidaSend('<invoke name="' + name + '" returntype="xml"><arguments>' + body +
                            '</arguments></invoke>');
};

window.vornidaLang = new URLSearchParams(location.search).get('lang');
window.vornidaReady = false;

// The title bar behaves as the real movie's: drag moves the window, a double
// click maximises or restores, the right button opens the system menu.
const titlebar = document.getElementById('titlebar');
titlebar.addEventListener('mousedown', (event) => {
  if (event.button === 0) window.vornidaInvoke('EnterMoveWnd');
});
titlebar.addEventListener('dblclick', () => window.vornidaInvoke('CaptionBarDoubleClick'));
titlebar.addEventListener('contextmenu', (event) => {
  event.preventDefault();
  window.vornidaInvoke('PopupSysMenu', event.clientX, event.clientY);
});

// With a file named "hold" in the movie folder the page waits for
// window.vornidaRelease() before it reports that it has loaded, so that a
// test can look at the splash first.
async function held() {
  try {
    return (await fetch('hold')).ok;
  } catch (error) {
    return false;
  }
}

async function start() {
  const area = document.getElementById('canvas-area').getBoundingClientRect();
  if (await held()) await new Promise((resolve) => { window.vornidaRelease = resolve; });
  await window.vornidaInvoke('LoadComplete');
  await window.vornidaInvoke('UpdateVornidaCanvasPos', Math.round(area.left), Math.round(area.top),
                             Math.round(area.width), Math.round(area.height));
  window.vornidaReady = true;
}
start();
