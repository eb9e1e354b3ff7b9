// Every control's last value, kept across runs with "ReadReg"/"WriteReg" in
// the section "Setting", one key per setting.

import { call } from './bridge.js';
import { DEFAULTS, FIELDS, saneValue } from './params.js';
import { getState, subscribe } from './state.js';

const SECTION = 'Setting';
const WRITE_DELAY_MS = 400;

function stored(value) {
  return typeof value === 'boolean' ? (value ? 'true' : 'false') : String(value);
}

// Reads the stored settings: the defaults with every stored value that
// still makes sense (a remembered picture must still exist).
export async function loadSettings() {
  const names = Object.keys(FIELDS);
  const values = await Promise.all(names.map((name) => call('ReadReg', name, SECTION)));
  const settings = { ...DEFAULTS };
  names.forEach((name, i) => {
    const raw = values[i];
    if (typeof raw !== 'string' || raw === '') return;
    const value = saneValue(name, raw);
    if (value !== undefined) settings[name] = value;
  });
  const [shapeThere, backgroundThere] = await Promise.all(
    [settings.shapeImage, settings.backgroundFile].map((path) => (path ? call('FileExists', path) : false)),
  );
  if (!shapeThere) {
    settings.shapeImage = '';
    if (settings.shapeType === 'Image') settings.shapeType = DEFAULTS.shapeType;
  }
  if (!backgroundThere) {
    settings.backgroundFile = '';
    if (settings.backgroundType === 'Image') settings.backgroundType = DEFAULTS.backgroundType;
  }
  return settings;
}

// From now on, writes each changed setting shortly after it changed.
export function keepSettings() {
  let written = { ...getState().settings };
  let timer = 0;
  subscribe((state) => {
    if (timer) return;
    if (Object.keys(FIELDS).every((name) => state.settings[name] === written[name])) return;
    timer = setTimeout(() => {
      timer = 0;
      const now = getState().settings;
      for (const name of Object.keys(FIELDS)) {
        if (now[name] !== written[name]) call('WriteReg', name, stored(now[name]), SECTION);
      }
      written = { ...now };
    }, WRITE_DELAY_MS);
  });
}
