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
  log.textContent += 'call ' + request + '\n';
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

async function start() {
  const area = document.getElementById('canvas-area').getBoundingClientRect();
  await window.vornidaInvoke('LoadComplete');
  await window.vornidaInvoke('UpdateVornidaCanvasPos', Math.round(area.left), Math.round(area.top),
                             Math.round(area.width), Math.round(area.height));
  window.vornidaReady = true;
}
start();
