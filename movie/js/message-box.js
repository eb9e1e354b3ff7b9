// Native message boxes ("MessageBox") with a reply function: the page learns
// the button both from the answer and from the reply call, whichever comes
// first (a delayed box answers only through the reply).

import { addCallback, call } from './bridge.js';
import { t } from './strings.js';

// Windows style flags and button ids, as they travel on the wire.
export const MB = { OK: 0x0, OKCANCEL: 0x1, YESNO: 0x4, ICONERROR: 0x10, ICONQUESTION: 0x20, ICONWARNING: 0x30, ICONINFORMATION: 0x40 };
export const ID = { OK: 1, CANCEL: 2, YES: 6, NO: 7 };

const REPLY_FUNCTION = 'onMessageBoxReply';
const pending = new Map();
let nextToken = 1;

addCallback(REPLY_FUNCTION, (button, token) => {
  const resolve = pending.get(String(token));
  if (resolve) {
    pending.delete(String(token));
    resolve(Number(button));
  }
});

// Shows a box and resolves with the button id (0 when no native side answered).
// Line breaks travel as "\n", which the native side turns back into breaks.
export async function messageBox(text, style = MB.OK) {
  const token = String(nextToken++);
  const reply = new Promise((resolve) => pending.set(token, resolve));
  const answer = await call('MessageBox', String(text).replace(/\r?\n/g, '\\n'), t('Msg.Title'), style, REPLY_FUNCTION, token);
  if (pending.has(token)) {
    pending.get(token)(typeof answer === 'number' ? answer : 0);
    pending.delete(token);
  }
  return reply;
}

export async function confirmBox(text) {
  return (await messageBox(text, MB.YESNO | MB.ICONQUESTION)) === ID.YES;
}
