// The status strip: the state text, the progress bar and the info text.

import { getState, subscribe } from './state.js';

function render(state) {
  document.getElementById('state-text').textContent = state.stateText;
  document.getElementById('info-text').textContent = state.infoText;
  const bar = document.getElementById('progress');
  const { value, max, visible } = state.progress;
  const busy = state.importing || state.previewing || state.saving;
  bar.style.visibility = visible && busy ? 'visible' : 'hidden';
  const percent = max > 0 ? Math.max(0, Math.min(100, Math.round((value / max) * 100))) : 0;
  bar.setAttribute('aria-valuenow', String(percent));
  document.getElementById('progress-fill').style.width = `${percent}%`;
  document.getElementById('app').dataset.busy = String(busy);
}

export function initStatusView() {
  subscribe(render);
  render(getState());
}
