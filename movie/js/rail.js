// The rail of sections (Photos, Shape, Canvas, Items, Look): a vertical tab
// list; arrows, Home and End move along it, Alt+1..5 jump to a section.

import { getState, subscribe, update } from './state.js';

export const SECTIONS = ['photos', 'shape', 'canvas', 'items', 'look'];

export function showSection(section, { focus = false } = {}) {
  if (!SECTIONS.includes(section)) return;
  update({ section });
  if (focus) document.getElementById(`tab-${section}`).focus();
}

function render(state) {
  for (const name of SECTIONS) {
    const tab = document.getElementById(`tab-${name}`);
    const selected = name === state.section;
    tab.setAttribute('aria-selected', String(selected));
    tab.tabIndex = selected ? 0 : -1;
    const panel = document.getElementById(`panel-${name}`);
    if (panel.hidden === selected) {
      panel.hidden = !selected;
      if (selected) panel.closest('.panel-scroll').scrollTop = 0;
    }
  }
}

export function initRail() {
  const rail = document.querySelector('.rail');
  SECTIONS.forEach((name, i) => {
    const tab = document.getElementById(`tab-${name}`);
    tab.title = `${tab.querySelector('span').textContent.trim()} (Alt+${i + 1})`;
    tab.setAttribute('aria-keyshortcuts', `Alt+${i + 1}`);
  });
  rail.addEventListener('click', (event) => {
    const tab = event.target.closest('[role="tab"]');
    if (tab) showSection(tab.dataset.section);
  });
  rail.addEventListener('keydown', (event) => {
    const at = SECTIONS.indexOf(getState().section);
    const next = { ArrowDown: at + 1, ArrowUp: at - 1, Home: 0, End: SECTIONS.length - 1 }[event.key];
    if (next === undefined) return;
    event.preventDefault();
    showSection(SECTIONS[(next + SECTIONS.length) % SECTIONS.length], { focus: true });
  });
  addEventListener('keydown', (event) => {
    if (event.altKey && !event.ctrlKey && !event.metaKey && /^Digit[1-5]$/.test(event.code)) {
      event.preventDefault();
      showSection(SECTIONS[Number(event.code.slice(5)) - 1], { focus: true });
    }
  });
  subscribe(render);
  render(getState());
}
