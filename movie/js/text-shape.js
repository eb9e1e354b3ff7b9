// The picture of a text shape: the text in bold, black on transparent, drawn
// by the page and handed to the native side as PNG ("SetTextShape"), which
// answers with the path of the file it wrote.

import { call } from './bridge.js';

const CSS_FAMILY = { Sans: 'sans-serif', Serif: 'serif', Monospace: 'monospace' };
// Large enough that the shape maker finds smooth letter outlines, small
// enough that long texts stay a modest picture.
const FONT_PIXELS = 400;
const MAX_WIDTH = 8000;

export function cssFont(font, pixels) {
  return `bold ${pixels}px ${CSS_FAMILY[font] ?? 'sans-serif'}`;
}

// The text drawn on a canvas just big enough for its ink, or null when the
// text has nothing to draw.
export function drawText(text, font, doc = document) {
  const trimmed = text.trim();
  if (!trimmed) return null;
  const canvas = doc.createElement('canvas');
  const ctx = canvas.getContext('2d');
  let pixels = FONT_PIXELS;
  ctx.font = cssFont(font, pixels);
  let m = ctx.measureText(trimmed);
  const inkWidth = (metrics) => metrics.actualBoundingBoxLeft + metrics.actualBoundingBoxRight;
  if (inkWidth(m) > MAX_WIDTH) {
    pixels = Math.max(24, Math.floor((pixels * MAX_WIDTH) / inkWidth(m)));
    ctx.font = cssFont(font, pixels);
    m = ctx.measureText(trimmed);
  }
  const pad = Math.ceil(pixels * 0.06);
  const width = Math.ceil(inkWidth(m)) + 2 * pad;
  const height = Math.ceil(m.actualBoundingBoxAscent + m.actualBoundingBoxDescent) + 2 * pad;
  if (width <= 2 * pad || height <= 2 * pad) return null;
  canvas.width = width;
  canvas.height = height;
  ctx.font = cssFont(font, pixels);
  ctx.fillStyle = '#000';
  ctx.textBaseline = 'alphabetic';
  ctx.fillText(trimmed, pad + m.actualBoundingBoxLeft, pad + m.actualBoundingBoxAscent);
  return canvas;
}

let written = null; // { text, font, path } of the picture the native side holds

// The path of the text shape's picture for `text` in `font`, drawing and
// sending it only when it changed. Null when the text cannot be drawn or the
// native side wrote nothing.
export async function textShapePath(text, font) {
  if (written && written.text === text && written.font === font) return written.path;
  const canvas = drawText(text, font);
  if (!canvas) return null;
  const base64 = canvas.toDataURL('image/png').replace(/^data:image\/png;base64,/, '');
  const path = await call('SetTextShape', base64);
  if (typeof path !== 'string' || path === '') return null;
  written = { text, font, path };
  return path;
}

// Forgets the picture sent last (a project opened may name a stale one).
export function forgetTextShape() {
  written = null;
}
