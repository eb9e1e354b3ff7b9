// The project document: what "SaveProject" stores and "OpenProject" gives
// back through openProjectCallBack.
//
//   <VornidaProject version='1'>
//     <Settings>
//       <Vornida shapeType='Rectangle' .../>
//     </Settings>
//     <Photos>
//       <Photo src='/home/me/Pictures/a.jpg'/>
//     </Photos>
//   </VornidaProject>
//
// `Settings` holds the collage-parameter text; a text shape's text and font
// travel in it (`shapeText`, `shapeFont`), so opening draws the shape again
// rather than trusting a temporary picture that is long gone, and so does
// the `seed` of the layout shown when it was saved, so that opening shows
// the same arrangement again. Names match
// without regard to case and unknown parts are ignored, as the native reader
// does.

import { composeParams, seedText, settingsFromParams } from './params.js';
import { attr, child, children, escapeXml, parseXml } from './xml.js';

export const PROJECT_VERSION = 1;

export function composeProject(settings, photoPaths, { shapePath = '', seed = null } = {}) {
  const photos = photoPaths.map((src) => `    <Photo src='${escapeXml(src)}'/>`);
  return [
    `<VornidaProject version='${PROJECT_VERSION}'>`,
    '  <Settings>',
    `    ${composeParams(settings, { shapePath, seed })}`,
    '  </Settings>',
    photos.length ? '  <Photos>' : '  <Photos/>',
    ...photos,
    ...(photos.length ? ['  </Photos>'] : []),
    '</VornidaProject>',
    '',
  ].join('\n');
}

// Reads a project document: { ok: true, settings, photos, hasSettings, seed }
// or { ok: false } when the text is not XML. A document without settings
// keeps the defaults; one without photos has none; `seed` is null when the
// document keeps none (or none that reads as a seed).
export function readProject(text) {
  const root = typeof text === 'string' && text.trim() ? parseXml(text) : null;
  if (!root) return { ok: false };
  const settingsElement = child(root, 'Settings');
  const params = settingsElement ? child(settingsElement, 'Vornida') ?? settingsElement.children[0] : undefined;
  const settings = settingsFromParams((name) => (params ? attr(params, name) : undefined));
  const list = child(root, 'Photos');
  const photos = list
    ? children(list, 'Photo')
        .map((p) => attr(p, 'src') ?? '')
        .filter((src) => src !== '')
    : [];
  const seed = params ? seedText(attr(params, 'seed')) : null;
  return { ok: true, settings, photos, hasSettings: Boolean(params), seed };
}
