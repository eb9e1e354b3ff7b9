// The page's end of the native bridge: `invoke` XML messages both ways.
//
//   page -> native   call(name, ...args) sends
//                    <invoke name="NAME" returntype="xml"><arguments>VALUES</arguments></invoke>
//                    and resolves with the decoded answer (undefined for none).
//   native -> page   the host evaluates window.vornidaExternal(requestXml); the
//                    function registered with addCallback(name, fn) runs with
//                    the decoded arguments and its result goes back encoded.
//
// The native side inserts texts into its messages without escaping them, so
// the reader here is tolerant: a <string> runs to the </string> after which
// the rest of the message still reads, a string whose content is markup (a
// project document) is given as that markup, and a bare "&" or "<" in a text
// is taken as it stands.

import { decodeEntities, escapeXml, isMarkup } from './xml.js';

// ---- encoding ---------------------------------------------------------------

// One value in the message format: strings escaped, numbers in decimal,
// booleans, null and undefined as their empty elements, arrays and plain
// objects as property lists.
export function encodeValue(value) {
  if (value === null) return '<null/>';
  switch (typeof value) {
    case 'undefined':
      return '<undefined/>';
    case 'boolean':
      return value ? '<true/>' : '<false/>';
    case 'number':
      return Number.isFinite(value) ? `<number>${value}</number>` : '<null/>';
    case 'string':
      return `<string>${escapeXml(value)}</string>`;
    default:
      break;
  }
  if (Array.isArray(value)) {
    return `<array>${value.map((v, i) => `<property id="${i}">${encodeValue(v)}</property>`).join('')}</array>`;
  }
  const props = Object.entries(value).map(([k, v]) => `<property id="${escapeXml(k)}">${encodeValue(v)}</property>`);
  return `<object>${props.join('')}</object>`;
}

export function encodeInvoke(name, args = []) {
  return `<invoke name="${escapeXml(name)}" returntype="xml"><arguments>${args.map(encodeValue).join('')}</arguments></invoke>`;
}

// The answer a callback gives the native side: "" for none (undefined).
export function encodeReturn(value) {
  return value === undefined ? '' : encodeValue(value);
}

// ---- decoding ---------------------------------------------------------------

// How many closing tags a string may try before the message counts as
// unreadable; keeps hostile texts from making the reader slow.
const MAX_STRING_ENDS = 64;

function stringContent(raw) {
  return isMarkup(raw) ? raw : decodeEntities(raw);
}

// Reads the values from `text` at `pos` up to `stop` (a closing tag, or the
// end of the text when stop is null). Gives { values, pos } with `pos` at
// `stop`, or null when the text does not read that way. Each value reads the
// rest after it too, so that a string can try its possible ends. Arrays are
// flattened into `values`, as the native decoder flattens them.
function readValues(text, pos, stop) {
  while (pos < text.length && ' \t\r\n'.includes(text[pos])) ++pos;
  if (stop === null ? pos >= text.length : text.startsWith(stop, pos)) return { values: [], pos };
  if (pos >= text.length) return null;
  return readOne(text, pos, stop);
}

function followedBy(values, tail) {
  return tail ? { values: [...values, ...tail.values], pos: tail.pos } : null;
}

const EMPTY_ELEMENTS = [
  ['<true/>', true],
  ['<false/>', false],
  ['<null/>', null],
  ['<undefined/>', undefined],
  ['<string/>', ''],
  ['<string></string>', ''],
];

function readOne(text, pos, stop) {
  for (const [tag, value] of EMPTY_ELEMENTS) {
    if (text.startsWith(tag, pos)) return followedBy([value], readValues(text, pos + tag.length, stop));
  }
  if (text.startsWith('<number>', pos)) {
    const end = text.indexOf('</number>', pos);
    if (end < 0) return null;
    const raw = text.slice(pos + 8, end).trim();
    const number = Number(raw);
    const value = raw === '' || Number.isNaN(number) ? raw : number;
    return followedBy([value], readValues(text, end + 9, stop));
  }
  if (text.startsWith('<string>', pos)) {
    const start = pos + 8;
    let from = start;
    for (let tries = 0; tries < MAX_STRING_ENDS; ++tries) {
      const end = text.indexOf('</string>', from);
      if (end < 0) return null;
      const tail = readValues(text, end + 9, stop);
      if (tail) return followedBy([stringContent(text.slice(start, end))], tail);
      from = end + 1;
    }
    return null;
  }
  const list = /^<(array|object)>/.exec(text.slice(pos, pos + 8));
  if (list) {
    const close = `</${list[1]}>`;
    let at = pos + list[0].length;
    const items = [];
    const object = {};
    for (;;) {
      while (at < text.length && ' \t\r\n'.includes(text[at])) ++at;
      if (text.startsWith(close, at)) break;
      const open = /^<property(?:\s+id\s*=\s*(?:"([^"]*)"|'([^']*)'))?\s*>/.exec(text.slice(at, at + 256));
      if (!open) return null;
      const inner = readValues(text, at + open[0].length, '</property>');
      if (!inner) return null;
      items.push(...inner.values);
      const id = decodeEntities(open[1] ?? open[2] ?? String(Object.keys(object).length));
      object[id] = inner.values.length === 1 ? inner.values[0] : inner.values;
      at = inner.pos + '</property>'.length;
    }
    return followedBy(list[1] === 'array' ? items : [object], readValues(text, at + close.length, stop));
  }
  return null;
}

// Decodes a request of the native side: { name, args } or null when the text
// is not an invoke message.
export function decodeInvoke(text) {
  const head = /^\s*<invoke\s+name\s*=\s*(?:'([^']*)'|"([^"]*)")[^>]*>\s*/.exec(text);
  if (!head) return null;
  const name = decodeEntities(head[1] ?? head[2]);
  let pos = head[0].length;
  if (text.startsWith('<arguments/>', pos)) return { name, args: [] };
  if (!text.startsWith('<arguments>', pos)) return null;
  pos += '<arguments>'.length;
  // The arguments end at the last </arguments> after which only </invoke> follows.
  const tail = /<\/arguments>\s*<\/invoke>\s*$/.exec(text);
  if (!tail || tail.index < pos) return null;
  const body = text.slice(pos, tail.index);
  const read = readValues(body, 0, null);
  return read ? { name, args: read.values } : null;
}

// Decodes the native side's answer to a call: the one value it holds, or
// undefined for no answer ("" or anything that is not exactly one value).
export function decodeAnswer(text) {
  if (typeof text !== 'string' || text.trim() === '') return undefined;
  const read = readValues(text.trim(), 0, null);
  return read && read.values.length === 1 ? read.values[0] : undefined;
}

// ---- transport --------------------------------------------------------------

function transport() {
  const handler = globalThis.webkit?.messageHandlers?.vornida;
  if (handler) return (message) => handler.postMessage(message);
  const test = globalThis.vornidaTestBridge;
  if (test) return (message) => test.postMessage(message);
  return null;
}

// True when a native side answers (the page may also be opened on its own).
export function hasNative() {
  return transport() !== null;
}

// Calls a native command; resolves with its decoded answer, undefined when it
// gives none or when no native side is there.
export async function call(name, ...args) {
  const send = transport();
  if (!send) return undefined;
  return decodeAnswer(await send(encodeInvoke(name, args)));
}

// Runs a command after the current call has returned ("__DELAY_CALL__"); its
// answer is lost, so use it for commands whose result comes back otherwise.
export function callDelayed(name, ...args) {
  return call('__DELAY_CALL__', name, ...args);
}

const callbacks = new Map();

// Makes `fn` callable by the native side under `name`.
export function addCallback(name, fn) {
  callbacks.set(name, fn);
}

// Runs one request of the native side. A request that does not read, or names
// no registered function, throws: the host sees a failed call.
export function handleExternal(requestXml) {
  const request = decodeInvoke(String(requestXml));
  if (!request) throw new Error('vornidaExternal: not an invoke message');
  const fn = callbacks.get(request.name);
  if (!fn) throw new Error(`vornidaExternal: no function ${request.name}`);
  return encodeReturn(fn(...request.args));
}

if (typeof window !== 'undefined') window.vornidaExternal = handleExternal;
