// The collage settings of the page and the collage-parameter text made from
// them: one `Vornida` element whose attributes carry every setting, sent with
// "MakeShape" and "SaveShape" and kept in projects.
//
// The settings are one flat object (see DEFAULTS). FIELDS says for each what
// values it may take; the controls refuse anything else, and values read
// from a project or the settings store are brought into range here.

import { escapeXml } from './xml.js';

export const SHAPES = ['Rectangle', 'Circle', 'Image', 'Text'];
export const FONTS = ['Sans', 'Serif', 'Monospace'];

// Canvas presets in pixels, landscape (the orientation buttons turn them).
// "screen" is measured from the display the page runs on.
export const CANVAS_PRESETS = [
  { id: 'screen', width: 1920, height: 1080 },
  { id: '4x6', width: 1800, height: 1200 },
  { id: 'a4', width: 3508, height: 2480 },
  { id: 'a3', width: 4961, height: 3508 },
  { id: 'poster', width: 7200, height: 4800 },
];

export const ASPECT_PRESETS = [
  { id: '1:1', ratio: 1 },
  { id: '4:3', ratio: 4 / 3 },
  { id: '3:2', ratio: 3 / 2 },
  { id: '16:9', ratio: 16 / 9 },
  { id: '3:4', ratio: 3 / 4 },
  { id: '2:3', ratio: 2 / 3 },
  { id: '9:16', ratio: 9 / 16 },
];

// An automatic canvas grows from the item size, so with an aspect ratio the
// items always get one; this is it when the item size is left automatic.
export const AUTO_CANVAS_ITEM_SIZE = 300;

export const DEFAULTS = Object.freeze({
  shapeType: 'Rectangle',
  shapeImage: '',
  shapeText: 'Vornida',
  shapeFont: 'Sans',
  canvasMode: 'size',
  canvasWidth: 1600,
  canvasHeight: 1200,
  aspectRatio: 1.5,
  itemsMode: 'each',
  itemCount: 60,
  itemSizeMode: 'auto',
  itemSize: 300,
  samePhotoSize: true,
  spacing: 1,
  borderSize: 0.03,
  borderColor: '#f2f2f2',
  avgAngle: 0,
  maxAngle: 15,
  shadow: true,
  shadowOffsetX: 0.01,
  shadowOffsetY: 0.01,
  backgroundType: 'Color',
  backgroundColor: '#ffffff',
  backgroundFile: '',
  jpegQuality: 90,
});

// kind: enum (one of `values`), int and real (from `min` to `max`: the
// engine's own ranges, src/engine/param_ranges.cpp; a slider may show the
// common part of a range, the number field beside it takes all of it), bool,
// color (#rrggbb), text (at most `max` characters, no line breaks), path.
export const FIELDS = {
  shapeType: { kind: 'enum', values: SHAPES },
  shapeImage: { kind: 'path' },
  shapeText: { kind: 'text', max: 40 },
  shapeFont: { kind: 'enum', values: FONTS },
  canvasMode: { kind: 'enum', values: ['size', 'aspect'] },
  canvasWidth: { kind: 'int', min: 1, max: 100000 },
  canvasHeight: { kind: 'int', min: 1, max: 100000 },
  aspectRatio: { kind: 'real', min: 0.01, max: 100 },
  itemsMode: { kind: 'enum', values: ['each', 'fill', 'count'] },
  itemCount: { kind: 'int', min: 1, max: 1000000 },
  itemSizeMode: { kind: 'enum', values: ['auto', 'px'] },
  itemSize: { kind: 'int', min: 1, max: 30000 },
  samePhotoSize: { kind: 'bool' },
  spacing: { kind: 'real', min: 0.1, max: 10 },
  borderSize: { kind: 'real', min: 0, max: 0.45 },
  borderColor: { kind: 'color' },
  avgAngle: { kind: 'int', min: -180, max: 180 },
  maxAngle: { kind: 'int', min: 0, max: 180 },
  shadow: { kind: 'bool' },
  shadowOffsetX: { kind: 'real', min: -1, max: 1 },
  shadowOffsetY: { kind: 'real', min: -1, max: 1 },
  backgroundType: { kind: 'enum', values: ['Color', 'Transparent', 'Image'] },
  backgroundColor: { kind: 'color' },
  backgroundFile: { kind: 'path' },
  jpegQuality: { kind: 'int', min: 1, max: 100 },
};

// Settings that change the layout (the rest only change how it is saved).
export const LAYOUT_FIELDS = Object.keys(FIELDS).filter((name) => name !== 'jpegQuality');

// Reads a colour as the native side does: "0x" hexadecimal, "#rrggbb" (an
// alpha pair after it is ignored), or a decimal number 0xRRGGBB. Gives
// "#rrggbb", or null when the text is none of these.
export function parseColor(text) {
  const lower = String(text).trim().toLowerCase();
  let value;
  if (lower.includes('0x')) {
    const hex = lower.replaceAll('0x', '');
    if (!/^[0-9a-f]{1,8}$/.test(hex)) return null;
    value = parseInt(hex, 16);
  } else if (lower.includes('#')) {
    if ((lower.length !== 7 && lower.length !== 9) || !/^#[0-9a-f]+$/.test(lower)) return null;
    return lower.slice(0, 7);
  } else {
    if (!/^[0-9]{1,10}$/.test(lower)) return null;
    value = Number(lower);
  }
  return '#' + (value & 0xffffff).toString(16).padStart(6, '0');
}

// Checks one value for a field. { ok: true, value } with the value in the
// field's type, or { ok: false, reason } where reason is 'number', 'range'
// (with min and max) or 'value'.
export function checkValue(name, raw) {
  const field = FIELDS[name];
  if (!field) return { ok: false, reason: 'value' };
  switch (field.kind) {
    case 'enum':
      return field.values.includes(raw) ? { ok: true, value: raw } : { ok: false, reason: 'value' };
    case 'bool':
      if (typeof raw === 'boolean') return { ok: true, value: raw };
      if (raw === 'true' || raw === 'TRUE' || raw === '1') return { ok: true, value: true };
      if (raw === 'false' || raw === 'FALSE' || raw === '0') return { ok: true, value: false };
      return { ok: false, reason: 'value' };
    case 'int':
    case 'real': {
      const text = String(raw).trim();
      const pattern = field.kind === 'int' ? /^[+-]?\d+$/ : /^[+-]?(\d+\.?\d*|\.\d+)(e[+-]?\d+)?$/i;
      if (!pattern.test(text)) return { ok: false, reason: 'number', min: field.min, max: field.max };
      const value = Number(text);
      if (!(value >= field.min && value <= field.max)) return { ok: false, reason: 'range', min: field.min, max: field.max };
      return { ok: true, value };
    }
    case 'color': {
      const value = parseColor(raw);
      return value ? { ok: true, value } : { ok: false, reason: 'value' };
    }
    case 'text': {
      const text = String(raw);
      if (/[\r\n\0]/.test(text) || text.length > field.max) return { ok: false, reason: 'value' };
      return { ok: true, value: text };
    }
    case 'path':
      return typeof raw === 'string' && !/[\r\n\0]/.test(raw) ? { ok: true, value: raw } : { ok: false, reason: 'value' };
    default:
      return { ok: false, reason: 'value' };
  }
}

// A value read from outside (a project, the settings store) for a field:
// numbers outside the range are brought to its nearest end; anything that
// does not read gives undefined.
export function saneValue(name, raw) {
  const checked = checkValue(name, raw);
  if (checked.ok) return checked.value;
  const field = FIELDS[name];
  if (checked.reason === 'range') {
    const value = Math.min(field.max, Math.max(field.min, Number(String(raw).trim())));
    return field.kind === 'int' ? Math.round(value) : value;
  }
  return undefined;
}

// A real number as the parameter text writes it: plain decimal, at most six
// decimals, no exponent.
export function realText(value) {
  const fixed = Number(value).toFixed(6);
  return fixed.replace(/\.?0+$/, '') || '0';
}

// The value "numPhotos" carries for the item choice.
export function numPhotosValue(settings) {
  if (settings.itemsMode === 'fill') return -2;
  if (settings.itemsMode === 'count') return settings.itemCount;
  return -1;
}

// The value "itemBoundingBoxWidth" carries: -1 asks for an automatic size.
export function itemSizeValue(settings) {
  if (settings.itemSizeMode === 'px') return settings.itemSize;
  return settings.canvasMode === 'aspect' ? AUTO_CANVAS_ITEM_SIZE : -1;
}

// A layout's seed as the parameter text carries it: a whole number
// 0..4294967295 in decimal. Gives the text, or null for anything else.
export function seedText(value) {
  const text = String(value ?? '').trim();
  return /^\d{1,10}$/.test(text) && Number(text) <= 4294967295 ? String(Number(text)) : null;
}

// The collage-parameter text for `settings`. `shapePath` is the picture of a
// text shape (the path "SetTextShape" answered); an image shape uses its own
// picture. `seed`, when given, asks for the layout made with that seed.
// Attribute values are escaped, so paths may hold any character.
export function composeParams(settings, { shapePath = '', seed = null } = {}) {
  const s = { ...DEFAULTS, ...settings };
  const shape = s.shapeType === 'Image' ? s.shapeImage : s.shapeType === 'Text' ? shapePath : '';
  const aspect = s.canvasMode === 'aspect';
  const attrs = [
    ['shapeType', s.shapeType],
    ['shape', shape],
    ['collageSize', aspect ? '0,0' : `${s.canvasWidth},${s.canvasHeight}`],
    ['aspectRatio', aspect ? realText(s.aspectRatio) : '0'],
    ['itemBoundingBoxWidth', String(itemSizeValue(s))],
    ['numPhotos', String(numPhotosValue(s))],
    ['spacing', realText(s.spacing)],
    ['borderSize', realText(s.borderSize)],
    ['samePhotoSize', String(s.samePhotoSize)],
    ['avgAngle', String(s.avgAngle)],
    ['maxAngle', String(s.maxAngle)],
    ['backgroundTransparent', String(s.backgroundType === 'Transparent')],
    ['backgroundColor', s.backgroundColor],
    ['backgroundType', s.backgroundType === 'Image' ? 'Image' : 'Color'],
    ['backgroundFile', s.backgroundType === 'Image' ? s.backgroundFile : ''],
    ['offsetX', realText(s.shadowOffsetX)],
    ['offsetY', realText(s.shadowOffsetY)],
    ['noShadow', String(!s.shadow)],
    ['borderColor', s.borderColor],
    ['jpegQuality', String(s.jpegQuality)],
  ];
  if (s.shapeType === 'Text') attrs.push(['shapeText', s.shapeText], ['shapeFont', s.shapeFont]);
  if (seedText(seed) !== null) attrs.push(['seed', seedText(seed)]);
  return `<Vornida ${attrs.map(([k, v]) => `${k}='${escapeXml(v)}'`).join(' ')}/>`;
}

function presetFor(width, height) {
  return CANVAS_PRESETS.find(
    (p) => p.id !== 'screen' && ((p.width === width && p.height === height) || (p.width === height && p.height === width)),
  );
}

// The settings a `Vornida` element describes (`get(name)` reads an attribute,
// undefined when absent). What the element leaves out or holds unreadable
// keeps its default; numbers out of range are brought into it.
export function settingsFromParams(get) {
  const s = { ...DEFAULTS };
  const put = (name, raw) => {
    if (raw === undefined) return;
    const value = saneValue(name, raw);
    if (value !== undefined) s[name] = value;
  };
  const truthy = (raw) => raw === 'true' || raw === 'TRUE' || raw === '1';

  put('shapeType', get('shapeType'));
  if (s.shapeType === 'Image') put('shapeImage', get('shape') ?? '');
  put('shapeText', get('shapeText'));
  put('shapeFont', get('shapeFont'));

  const size = String(get('collageSize') ?? '').split(',').map((v) => parseInt(v, 10));
  if (size.length >= 2 && size[0] > 0 && size[1] > 0) {
    s.canvasMode = 'size';
    put('canvasWidth', String(size[0]));
    put('canvasHeight', String(size[1]));
  } else if (size.length >= 2 && size[0] === 0 && size[1] === 0) {
    s.canvasMode = 'aspect';
    const ratio = parseFloat(get('aspectRatio') ?? '');
    if (ratio > 0) put('aspectRatio', String(ratio));
  }

  const itemSize = parseInt(get('itemBoundingBoxWidth') ?? '', 10);
  if (itemSize > 0) {
    s.itemSizeMode = 'px';
    put('itemSize', String(itemSize));
  } else if (itemSize < 0) {
    s.itemSizeMode = 'auto';
  }

  const count = parseInt(get('numPhotos') ?? '', 10);
  if (count === -2) s.itemsMode = 'fill';
  else if (count > 0) {
    s.itemsMode = 'count';
    put('itemCount', String(count));
  } else if (count === -1 || count === 0) s.itemsMode = 'each';

  for (const name of ['spacing', 'borderSize', 'avgAngle', 'maxAngle', 'borderColor', 'jpegQuality']) {
    const raw = get(name);
    if (raw !== undefined) put(name, name === 'avgAngle' || name === 'maxAngle' ? String(parseInt(raw, 10)) : raw);
  }
  if (get('samePhotoSize') !== undefined) s.samePhotoSize = truthy(get('samePhotoSize'));
  put('shadowOffsetX', get('offsetX'));
  put('shadowOffsetY', get('offsetY'));
  if (get('noShadow') !== undefined) s.shadow = !truthy(get('noShadow'));

  put('backgroundColor', get('backgroundColor'));
  if (truthy(get('backgroundTransparent'))) s.backgroundType = 'Transparent';
  else if (get('backgroundType') === 'Image') {
    s.backgroundType = 'Image';
    put('backgroundFile', get('backgroundFile') ?? '');
  } else if (get('backgroundType') !== undefined || get('backgroundColor') !== undefined) s.backgroundType = 'Color';
  return s;
}

// The canvas preset that a size matches, for the preset list (undefined for
// a size of one's own).
export function matchingPreset(width, height, screenPreset = CANVAS_PRESETS[0]) {
  if ((screenPreset.width === width && screenPreset.height === height) ||
      (screenPreset.width === height && screenPreset.height === width)) return screenPreset;
  return presetFor(width, height);
}
