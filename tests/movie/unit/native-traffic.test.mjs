// The page's encoder and decoder against the real native side: requests the
// page composes are played through vornida-headless, and every call the
// native side makes of it is read back with the page's own reader.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { decodeInvoke, encodeInvoke } from '../../../movie/js/bridge.js';
import { DEFAULTS, composeParams } from '../../../movie/js/params.js';
import { parsePhotoText } from '../../../movie/js/photo-text.js';
import { composeProject, readProject } from '../../../movie/js/project.js';
import { MOVIE, SOURCE, headlessBinary } from '../harness/native.mjs';

const NAMES = ["Tom & Jerry's <best> 夏天.jpg", "a ' src='b & c.jpg", 'plain.jpg'];
const BOX_TEXT = `Quotes ' " and <tags> & ünïcödé\nsecond line`;

let root;
let work;
let log = [];
let calls = [];

before(() => {
  if (!existsSync(headlessBinary())) return;
  root = mkdtempSync(path.join(tmpdir(), 'vornida-traffic-'));
  work = path.join(root, "work & 'more'");
  mkdirSync(work);
  const photos = NAMES.map((name, i) => {
    const target = path.join(work, name);
    copyFileSync(path.join(SOURCE, 'assets/demo-photos', ['dune.jpg', 'aqua.jpg', 'wood.jpg'][i]), target);
    return target;
  });
  const project = path.join(work, 'trip.vrn');
  const params = composeParams({ ...DEFAULTS, shapeType: 'Circle', canvasWidth: 900, canvasHeight: 600 });
  const line = (xml) => xml.replace(/\n/g, '&#10;');
  const script = [
    line(encodeInvoke('UpdateVornidaCanvasPos', [0, 0, 600, 400])),
    `dialog ${photos.join('|')}`,
    line(encodeInvoke('OpenAddPhotosDlg')),
    'wait',
    line(encodeInvoke('MakeShape', [params])),
    'wait',
    `dialog ${project}`,
    line(encodeInvoke('SaveProject', [composeProject(DEFAULTS, photos), 0])),
    `dialog ${project}`,
    line(encodeInvoke('OpenProject')),
    'wait',
    'msgbox 6',
    line(encodeInvoke('MessageBox', [BOX_TEXT.replace(/\n/g, '\\n'), 'Caption & <more>', 36, 'onMessageBoxReply', 'token & 7'])),
  ].join('\n');
  const out = execFileSync(headlessBinary(), ['--strings', path.join(MOVIE, 'strings/en.json'), '--seed', '7'], {
    input: script + '\n',
    env: { ...process.env, TMPDIR: root, XDG_CONFIG_HOME: root, XDG_DATA_HOME: root },
    encoding: 'utf8',
  });
  log = out.split('\n');
  calls = log.filter((l) => l.startsWith('call: ')).map((l) => l.slice(6).replace(/\\n/g, '\n'));
});

after(() => root && rmSync(root, { recursive: true, force: true }));

const skip = !existsSync(headlessBinary()) && 'vornida-headless is not built';

describe('a session with the real native side', { skip }, () => {
  test('every call the native side makes reads', () => {
    assert.ok(calls.length > 30, `${calls.length} calls`);
    for (const xml of calls) assert.notEqual(decodeInvoke(xml), null, xml);
  });

  test('imported photos arrive with their names and paths intact', () => {
    const photos = calls
      .map(decodeInvoke)
      .filter((c) => c.name === 'openAddPhotosDlgCallBack')
      .map((c) => parsePhotoText(c.args[0]));
    // The project opened at the end queues the same photos again: skipped.
    assert.deepEqual(photos.map((p) => p.name).sort(), [...NAMES].sort());
    for (const p of photos) {
      assert.equal(p.src, path.join(work, p.name));
      assert.match(p.thumb, /\/Vornida\/\d+\.png$/);
    }
  });

  test('the layout ran from the parameter text the page composed', () => {
    const info = calls.map(decodeInvoke).filter((c) => c.name === 'setInfoText').map((c) => c.args[0]);
    assert.deepEqual(info, ['Dimensions 900 x 600, Photos 3']);
    assert.ok(calls.some((xml) => xml.includes("<string>haveCreateCollage</string><string>true</string>")));
  });

  test('the saved project comes back unchanged through openProjectCallBack', () => {
    const opened = calls.map(decodeInvoke).find((c) => c.name === 'openProjectCallBack');
    const stored = readFileSync(path.join(work, 'trip.vrn'), 'utf8');
    assert.equal(opened.args[0], stored);
    const project = readProject(opened.args[0]);
    assert.deepEqual(project.photos, NAMES.map((name) => path.join(work, name)));
  });

  test('a message box shows the text, caption and style as the page sent them', () => {
    assert.ok(log.includes(`msgbox: style=36 caption=Caption & <more> text=${BOX_TEXT.replace(/\n/g, '\\n')}`), log.join('\n'));
    const reply = calls.map(decodeInvoke).find((c) => c.name === 'onMessageBoxReply');
    assert.deepEqual(reply.args, [6, 'token & 7']);
  });
});
