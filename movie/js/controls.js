// Binds every control that carries data-setting="NAME" to that collage
// setting: radios, switches, selects, sliders, number and text fields, colour
// pickers. A value the setting refuses stays in its field, marked, with a
// hint below it, and is never taken into the settings; elements with
// data-show-when="NAME=VALUE" show only while the setting has that value.

import { FIELDS, checkValue, realText } from './params.js';
import { getState, subscribe, update } from './state.js';
import { t } from './strings.js';

function scaleOf(el) {
  return Number(el.dataset.scale ?? el.closest('[data-scale]')?.dataset.scale ?? 1);
}

function decimalsOf(el) {
  const d = el.dataset.decimals ?? el.closest('[data-decimals]')?.dataset.decimals;
  return d === undefined ? null : Number(d);
}

function unitOf(el) {
  return el.closest('[data-unit]')?.dataset.unit ?? el.parentElement?.querySelector('.unit')?.textContent ?? '';
}

// The number a field shows for a setting value.
function shown(el, value) {
  const scaled = value * scaleOf(el);
  const decimals = decimalsOf(el);
  return decimals === null ? String(scaled) : realText(Number(scaled.toFixed(decimals)));
}

function hintElements(name) {
  return [...document.querySelectorAll('[data-hint-for]')].filter((p) => p.dataset.hintFor.split(' ').includes(name));
}

function refusal(el, name, checked) {
  const field = FIELDS[name];
  const scale = scaleOf(el);
  const unit = unitOf(el);
  if (field.kind === 'int' || field.kind === 'real') {
    const withUnit = (n) => realText(n * scale) + (unit === 'px' ? ' px' : unit);
    const values = { min: withUnit(field.min), max: withUnit(field.max) };
    const key = field.kind === 'int' && scale === 1 ? 'ui.hint.wholeNumber' : 'ui.hint.number';
    return t(checked.reason === 'number' ? key : 'ui.hint.range', values);
  }
  if (field.kind === 'color') return t('ui.hint.color');
  if (field.kind === 'text') return t('ui.hint.text', { max: field.max });
  return t('ui.hint.value');
}

function markInvalid(el, name, message) {
  el.setAttribute('aria-invalid', 'true');
  const invalid = new Set(getState().invalid);
  invalid.add(el.id || name);
  for (const hint of hintElements(name)) {
    hint.textContent = message;
    hint.hidden = false;
    if (hint.id) el.setAttribute('aria-describedby', hint.id);
  }
  update({ invalid });
}

function clearInvalid(el, name) {
  if (el.getAttribute('aria-invalid') !== 'true') return;
  el.removeAttribute('aria-invalid');
  const invalid = new Set(getState().invalid);
  invalid.delete(el.id || name);
  const others = [...document.querySelectorAll('[data-setting][aria-invalid="true"]')].some((o) => o.dataset.setting === name);
  if (!others) for (const hint of hintElements(name)) hint.hidden = true;
  update({ invalid });
}

// Takes the text of a field; gives true when the setting took it.
function take(el, raw) {
  const name = el.dataset.setting;
  let value = raw;
  if ((FIELDS[name].kind === 'int' || FIELDS[name].kind === 'real') && el.type === 'number') {
    const text = String(raw).trim();
    const scale = scaleOf(el);
    value = scale === 1 || !/^[+-]?(\d+\.?\d*|\.\d+)$/.test(text) ? text : String(Number(text) / scale);
    // The slider steps in display units; keep settings free of float noise.
    if (scale !== 1 && value !== text) value = realText(Number(value));
  }
  const checked = checkValue(name, value);
  if (!checked.ok) {
    markInvalid(el, name, refusal(el, name, checked));
    return false;
  }
  clearInvalid(el, name);
  if (getState().settings[name] !== checked.value) update({ settings: { [name]: checked.value } });
  return true;
}

function bind(el) {
  const name = el.dataset.setting;
  const field = FIELDS[name];
  if (!field) throw new Error(`no setting ${name}`);
  if (el.type === 'radio') {
    el.addEventListener('change', () => el.checked && take(el, el.value));
  } else if (el.type === 'checkbox') {
    el.addEventListener('change', () => take(el, el.checked));
  } else if (el.tagName === 'SELECT') {
    el.addEventListener('change', () => take(el, el.value));
  } else if (el.type === 'range') {
    const scale = scaleOf(el);
    const box = el.closest('.slider-field');
    el.min = String(Number(box?.dataset.rangeMin ?? field.min * scale));
    el.max = String(Number(box?.dataset.rangeMax ?? field.max * scale));
    el.step = box?.dataset.step ?? 'any';
    el.addEventListener('input', () => take(el, realText(Number(el.value) / scale)));
  } else if (el.type === 'number') {
    const scale = scaleOf(el);
    el.min = String(field.min * scale);
    el.max = String(field.max * scale);
    el.step = el.getAttribute('step') ?? el.closest('[data-step]')?.dataset.step ?? (field.kind === 'int' ? '1' : 'any');
    el.addEventListener('input', () => take(el, el.value));
    el.addEventListener('change', () => {
      if (el.getAttribute('aria-invalid') !== 'true') el.value = shown(el, getState().settings[name]);
    });
  } else if (el.type === 'color') {
    el.addEventListener('input', () => take(el, el.value));
  } else {
    el.addEventListener('input', () => take(el, el.value));
    el.addEventListener('change', () => {
      if (el.getAttribute('aria-invalid') !== 'true') el.value = String(getState().settings[name]);
    });
  }
}

function render(state) {
  const s = state.settings;
  for (const el of document.querySelectorAll('[data-setting]')) {
    const value = s[el.dataset.setting];
    if (el.type === 'radio') el.checked = el.value === String(value);
    else if (el.type === 'checkbox') el.checked = Boolean(value);
    else if (el.type === 'range') {
      el.value = String(value * scaleOf(el));
      const min = Number(el.min);
      const max = Number(el.max);
      const fill = max > min ? ((Math.min(max, Math.max(min, value * scaleOf(el))) - min) / (max - min)) * 100 : 0;
      el.style.setProperty('--fill', `${fill}%`);
    } else if (el === document.activeElement || el.getAttribute('aria-invalid') === 'true') {
      // Leave the field the user is typing in, and a refused value, alone.
    } else if (el.type === 'number') el.value = shown(el, value);
    else el.value = String(value);
  }
  for (const el of document.querySelectorAll('[data-show-when]')) {
    const [name, wanted] = el.dataset.showWhen.split('=');
    const visible = String(s[name]) === wanted;
    if (el.hidden === !visible) continue;
    el.hidden = !visible;
    // A refused value in a part that goes away is dropped: the setting
    // keeps its last good value.
    if (!visible)
      for (const field of el.querySelectorAll('[aria-invalid="true"]')) {
        clearInvalid(field, field.dataset.setting);
        field.value = field.type === 'number' ? shown(field, s[field.dataset.setting]) : String(s[field.dataset.setting]);
      }
  }
}

export function initControls() {
  for (const el of document.querySelectorAll('[data-setting]')) bind(el);
  subscribe(render);
  render(getState());
}

// Drops every refused value (a project or New replaces all settings).
export function resetRefusals() {
  for (const field of document.querySelectorAll('[data-setting][aria-invalid="true"]')) {
    field.removeAttribute('aria-invalid');
  }
  for (const hint of document.querySelectorAll('[data-hint-for]')) hint.hidden = true;
  update({ invalid: new Set() });
}
