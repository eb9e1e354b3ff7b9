// The Canvas section: a size in pixels (with presets and orientation) or an
// aspect ratio with the size following the items.

import { ASPECT_PRESETS, CANVAS_PRESETS, matchingPreset } from './params.js';
import { getState, subscribe, update } from './state.js';
import { t } from './strings.js';

// The "screen" preset is the display the program runs on, in device pixels.
function screenPreset() {
  const ratio = globalThis.devicePixelRatio || 1;
  const width = Math.round((globalThis.screen?.width || 1920) * ratio);
  const height = Math.round((globalThis.screen?.height || 1080) * ratio);
  return { id: 'screen', width: Math.max(width, height), height: Math.min(width, height) };
}

function presets() {
  return [screenPreset(), ...CANVAS_PRESETS.slice(1)];
}

function applyPreset(id) {
  const preset = presets().find((p) => p.id === id);
  if (!preset) return;
  const s = getState().settings;
  const portrait = s.canvasHeight > s.canvasWidth;
  update({
    settings: portrait
      ? { canvasWidth: preset.height, canvasHeight: preset.width }
      : { canvasWidth: preset.width, canvasHeight: preset.height },
  });
}

function setOrientation(portrait) {
  const s = getState().settings;
  if (portrait === s.canvasHeight > s.canvasWidth) return;
  update({ settings: { canvasWidth: s.canvasHeight, canvasHeight: s.canvasWidth } });
}

function render(state) {
  const s = state.settings;
  const preset = matchingPreset(s.canvasWidth, s.canvasHeight, screenPreset());
  const select = document.getElementById('canvas-preset');
  if (document.activeElement !== select) select.value = preset ? preset.id : 'custom';
  const portrait = s.canvasHeight > s.canvasWidth;
  document.getElementById('orient-landscape').setAttribute('aria-pressed', String(!portrait));
  document.getElementById('orient-portrait').setAttribute('aria-pressed', String(portrait));
  const megapixels = (s.canvasWidth * s.canvasHeight) / 1e6;
  document.getElementById('canvas-megapixels').textContent = t('ui.canvas.megapixels', {
    mp: megapixels >= 10 ? megapixels.toFixed(0) : megapixels.toFixed(1),
    inches: `${(s.canvasWidth / 300).toFixed(1)} × ${(s.canvasHeight / 300).toFixed(1)}`,
  });
  for (const chip of document.querySelectorAll('#aspect-chips .chip')) {
    chip.setAttribute('aria-pressed', String(Math.abs(Number(chip.dataset.ratio) - s.aspectRatio) < 0.005));
  }
}

export function initCanvasView() {
  document.getElementById('canvas-preset').addEventListener('change', (event) => applyPreset(event.target.value));
  document.getElementById('orient-landscape').addEventListener('click', () => setOrientation(false));
  document.getElementById('orient-portrait').addEventListener('click', () => setOrientation(true));
  const chips = document.getElementById('aspect-chips');
  for (const preset of ASPECT_PRESETS) {
    const chip = document.createElement('button');
    chip.type = 'button';
    chip.className = 'chip';
    chip.textContent = preset.id;
    chip.dataset.ratio = String(preset.ratio);
    chip.setAttribute('aria-pressed', 'false');
    chip.addEventListener('click', () => update({ settings: { aspectRatio: Math.round(preset.ratio * 10000) / 10000 } }));
    chips.append(chip);
  }
  subscribe(render);
  render(getState());
}
