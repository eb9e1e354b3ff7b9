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
// rather than trusting a temporary picture that is long gone. Names match
// without regard to case and unknown parts are ignored, as the native reader
// does.

import { composeParams, settingsFromParams } from './params.js';
import { attr, child, children, escapeXml, parseXml } from './xml.js';

export const PROJECT_VERSION = 1;

export function composeProject(settings, photoPaths, { shapePath = '' } = {}) {
  const photos = photoPaths.map((src) => `    <Photo src='${escapeXml(src)}'/>`);
  return [
    `<VornidaProject version='${PROJECT_VERSION}'>`,
    '  <Settings>',
    `    ${composeParams(settings, { shapePath })}`,
    '  </Settings>',
    photos.length ? '  <Photos>' : '  <Photos/>',
    ...photos,
    ...(photos.length ? ['  </Photos>'] : []),
    '</VornidaProject>',
    '',
  ].join('\n');
}

// Reads a project document: { ok: true, settings, photos, hasSettings } or
// { ok: false } when the text is not XML. A document without settings keeps
// the defaults; one without photos has none.
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
  return { ok: true, settings, photos, hasSettings: Boolean(params) };
}
