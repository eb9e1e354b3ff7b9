// The page's text table: strings/<language>.json (key -> text), with the
// English table behind it for keys a translation lacks. The native side asks
// for its texts by key through getStr; the page uses the same table.

let table = {};
let english = {};
let language = 'en';

const TAG = /^[A-Za-z]{2,3}(-[A-Za-z0-9]{2,8}){0,3}$/;

// The language the host asked for (?lang=zh-CN), or "en".
export function requestedLanguage(search = globalThis.location?.search ?? '') {
  const tag = new URLSearchParams(search).get('lang') ?? '';
  return TAG.test(tag) ? tag : 'en';
}

async function fetchTable(name) {
  try {
    const response = await fetch(`strings/${name}.json`);
    if (!response.ok) return null;
    const data = await response.json();
    return data && typeof data === 'object' && !Array.isArray(data) ? data : null;
  } catch {
    return null;
  }
}

// Loads the table for `tag`: the tag itself, then its language alone
// ("zh" for "zh-TW"), then English.
export async function loadStrings(tag) {
  const candidates = [tag, tag.split('-')[0]].filter((name, i, all) => name !== 'en' && all.indexOf(name) === i);
  const [base, ...found] = await Promise.all([fetchTable('en'), ...candidates.map(fetchTable)]);
  english = base ?? {};
  const index = found.findIndex(Boolean);
  table = index >= 0 ? found[index] : english;
  language = index >= 0 ? candidates[index] : 'en';
  return language;
}

export function currentLanguage() {
  return language;
}

// The text for `key`, or undefined when neither table has it.
export function lookup(key) {
  const text = Object.hasOwn(table, key) ? table[key] : english[key];
  return typeof text === 'string' ? text : undefined;
}

// The text for `key` with {name} placeholders filled from `values`; the key
// itself when the tables lack it, so a missing text shows rather than hides.
export function t(key, values) {
  const text = lookup(key) ?? key;
  if (!values) return text;
  return text.replace(/\{(\w+)\}/g, (whole, name) => (Object.hasOwn(values, name) ? String(values[name]) : whole));
}

// Fills every element below `root` that names a key: data-t (its text),
// data-t-title, data-t-aria-label, data-t-placeholder.
export function translateTree(root) {
  for (const el of root.querySelectorAll('[data-t]')) el.textContent = t(el.dataset.t);
  for (const [data, attribute] of [['tTitle', 'title'], ['tAriaLabel', 'aria-label'], ['tPlaceholder', 'placeholder']]) {
    const selector = `[data-${data.replace(/[A-Z]/g, (c) => '-' + c.toLowerCase())}]`;
    for (const el of root.querySelectorAll(selector)) el.setAttribute(attribute, t(el.dataset[data]));
  }
}
