// The title bar the page draws in place of the window manager's: dragging
// moves the window, a double click maximises or restores it, a right click
// opens the window menu, and the three window buttons. Also the app menu.

import { call } from './bridge.js';
import { getState, subscribe, update } from './state.js';
import { t } from './strings.js';

function onCaption(event) {
  return !event.target.closest('button, [role="menu"], input, select');
}

// The window is taken as maximised when it covers the available screen.
function looksMaximized() {
  const s = globalThis.screen;
  if (!s?.availWidth) return getState().maximized;
  return outerWidth >= s.availWidth - 2 && outerHeight >= s.availHeight - 2;
}

function render(state) {
  const button = document.getElementById('win-maximize');
  const key = state.maximized ? 'ui.window.restore' : 'ui.window.maximize';
  button.title = t(key);
  button.setAttribute('aria-label', t(key));
  button.querySelector('use').setAttribute('href', state.maximized ? '#i-restore' : '#i-max');
}

function initMenu() {
  const button = document.getElementById('menu-button');
  const menu = document.getElementById('app-menu');
  const items = () => [...menu.querySelectorAll('[role="menuitem"]:not(:disabled)')];
  const close = (refocus = true) => {
    if (menu.hidden) return;
    menu.hidden = true;
    button.setAttribute('aria-expanded', 'false');
    if (refocus) button.focus();
  };
  const open = (focusLast = false) => {
    menu.hidden = false;
    button.setAttribute('aria-expanded', 'true');
    const list = items();
    (focusLast ? list.at(-1) : list[0])?.focus();
  };
  button.addEventListener('click', () => (menu.hidden ? open() : close()));
  button.addEventListener('keydown', (event) => {
    if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
      event.preventDefault();
      open(event.key === 'ArrowUp');
    }
  });
  menu.addEventListener('keydown', (event) => {
    const list = items();
    const at = list.indexOf(document.activeElement);
    const move = { ArrowDown: 1, ArrowUp: -1 }[event.key];
    if (move) {
      event.preventDefault();
      list[(at + move + list.length) % list.length]?.focus();
    } else if (event.key === 'Home' || event.key === 'End') {
      event.preventDefault();
      (event.key === 'Home' ? list[0] : list.at(-1))?.focus();
    } else if (event.key === 'Escape') {
      event.preventDefault();
      close();
    } else if (event.key === 'Tab') {
      close(false);
    }
  });
  // An item's action runs (actions.js listens on data-action); the menu closes first.
  menu.addEventListener('click', (event) => {
    if (event.target.closest('[role="menuitem"]')) close();
  }, true);
  document.addEventListener('pointerdown', (event) => {
    if (!menu.hidden && !menu.contains(event.target) && !button.contains(event.target)) close(false);
  });
  addEventListener('blur', () => close(false));
}

export function initTitlebar() {
  const bar = document.getElementById('titlebar');
  bar.addEventListener('mousedown', (event) => {
    if (event.button !== 0 || event.detail > 1 || !onCaption(event)) return;
    call('EnterMoveWnd');
  });
  bar.addEventListener('mouseup', (event) => {
    if (event.button === 0 && onCaption(event)) call('ExitMoveWnd');
  });
  bar.addEventListener('dblclick', (event) => {
    if (!onCaption(event)) return;
    call('CaptionBarDoubleClick');
    update({ maximized: !getState().maximized });
  });
  bar.addEventListener('contextmenu', (event) => {
    if (!onCaption(event)) return;
    event.preventDefault();
    call('PopupSysMenu', Math.round(event.clientX), Math.round(event.clientY));
  });
  // Alt+Space opens the window menu from the keyboard, under the icon.
  addEventListener('keydown', (event) => {
    if (event.altKey && event.code === 'Space') {
      event.preventDefault();
      call('PopupSysMenu', 8, bar.offsetHeight);
    }
  });
  document.getElementById('win-minimize').addEventListener('click', () => call('WndSysCommand', 'SC_MINIMIZE'));
  document.getElementById('win-maximize').addEventListener('click', () => {
    // The native side knows the window's real state and toggles from it.
    call('CaptionBarDoubleClick');
    update({ maximized: !getState().maximized });
  });
  addEventListener('resize', () => update({ maximized: looksMaximized() }));
  initMenu();
  subscribe(render);
  render(getState());
}
