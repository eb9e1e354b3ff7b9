// The page's side of the bridge tests. The native test calls these functions
// through window.vornidaExternal; the first string argument is their input.
const replies = [];

function argumentsOf(request) {
  const doc = new DOMParser().parseFromString(request, 'text/xml');
  const invoke = doc.documentElement;
  const args = [...invoke.getElementsByTagName('arguments')[0]?.children ?? []].map((node) => node.textContent);
  return { name: invoke.getAttribute('name'), args };
}

function send(request) {
  return window.webkit.messageHandlers.vornida.postMessage(request);
}

function loadPicture(url) {
  return new Promise((resolve) => {
    const image = document.getElementById('picture');
    image.onload = () => resolve('img:' + image.naturalWidth + 'x' + image.naturalHeight);
    image.onerror = () => resolve('img:error');
    image.src = url;
  });
}

async function fetchText(url) {
  try {
    const response = await fetch(url);
    const body = await response.arrayBuffer();
    return 'ok:' + response.status + ':' + body.byteLength + ':' + response.headers.get('content-type');
  } catch (error) {
    return 'error';
  }
}

const functions = {
  ready: () => "<true/>",
  echo: (args) => args[0],
  twice: (args) => '<string>' + args[0] + args[0] + '</string>',
  throwing: () => { throw new Error('thrown on purpose'); },
  never: () => new Promise(() => {}),
  later: (args) => new Promise((resolve) => setTimeout(() => resolve('<string>' + args[0] + '</string>'), 20)),
  nothing: () => undefined,
  // Sends each request of a JSON list to the native side, all at once, and
  // gives the answers as a JSON list.
  send: async (args) => JSON.stringify(await Promise.all(JSON.parse(args[0]).map(send))),
  sendWrong: async () => {
    try { await send({ not: 'a string' }); return 'accepted'; } catch (error) { return 'refused'; }
  },
  onReply: (args) => { replies.push(args.join(',')); return ''; },
  replies: () => JSON.stringify(replies),
  fetch: (args) => fetchText(args[0]),
  picture: (args) => loadPicture(args[0]),
};

window.vornidaExternal = (request) => {
  const { name, args } = argumentsOf(request);
  const run = functions[name];
  if (!run) throw new Error('no function ' + name);
  return run(args);
};
