// Whole sessions as a person plays them: add photos, make the collage, save
// it as PNG and as layered PSD, save the project, start anew, open the
// project again. Once with the mouse and once with the keyboard alone; the
// native side is the real one, so the files are real and are read back.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, readFileSync } from 'node:fs';
import path from 'node:path';
import { after, describe, test } from 'node:test';

import { readProject } from '../../../movie/js/project.js';
import { argsOf, endSession, lastParams, makePhotos, startSession } from './fixture.mjs';

const NAMES = ["Tom & Jerry's <best>.jpg", '夏天 海边.jpg', 'plain.jpg'];

function pngSize(file) {
  const bytes = readFileSync(file);
  assert.equal(bytes.subarray(1, 4).toString('latin1'), 'PNG', `${file} is a PNG`);
  return [bytes.readUInt32BE(16), bytes.readUInt32BE(20)];
}

// Width, height and layer names of a PSD file, read with psd-tools.
function psdLayers(file) {
  const script = 'import sys, json\nfrom psd_tools import PSDImage\np = PSDImage.open(sys.argv[1])\n' +
    'print(json.dumps([p.width, p.height, [l.name for l in p.descendants()]]))';
  return JSON.parse(execFileSync('/usr/bin/python3', ['-c', script, file], { encoding: 'utf8' }));
}

async function tileNames(page) {
  return page.$$eval('#photo-grid .photo-tile', (tiles) => tiles.map((t) => t.title));
}

async function checkSavedFiles(native, out) {
  assert.deepEqual(pngSize(path.join(out, 'collage.png')), [900, 600]);
  const [width, height, layers] = psdLayers(path.join(out, 'collage.psd'));
  assert.deepEqual([width, height], [900, 600]);
  assert.ok(layers.length >= NAMES.length, `layers: ${layers}`);
  const saves = argsOf(native, 'SaveShape');
  assert.deepEqual(saves.map((a) => a[1]), [0, 1]);
  assert.equal(lastParams(native, 'SaveShape').jpegQuality, '90');
}

async function checkProjectFile(file, photos) {
  const project = readProject(readFileSync(file, 'utf8'));
  assert.equal(project.ok, true);
  assert.deepEqual(project.photos, photos);
  assert.equal(project.settings.shapeType, 'Circle');
  assert.deepEqual([project.settings.canvasWidth, project.settings.canvasHeight], [900, 600]);
}

async function checkNewThenOpened(session, photos) {
  const { native, page } = session;
  // After "New" everything was cleared and the native side told.
  assert.equal(native.requestsNamed('NewProject').length, 1);
  assert.equal(argsOf(native, 'RemovePhoto').length, NAMES.length);
  // After opening, the project's photos and settings are back and the
  // collage was made again once the photos were in.
  await page.waitForFunction(() => !document.getElementById('preview-image').hidden, null, { timeout: 20000 });
  assert.deepEqual((await tileNames(page)).sort(), [...NAMES].sort());
  assert.equal(await page.isChecked('input[name="shapeType"][value="Circle"]'), true);
  assert.equal(await page.inputValue('#canvas-width'), '900');
  assert.equal(argsOf(native, 'MakeShape').length, 2);
  assert.deepEqual(native.pageErrors, []);
  assert.deepEqual(native.callErrors, []);
  void photos;
}

describe('a whole session', () => {
  const sessions = [];
  after(async () => {
    for (const s of sessions) await endSession(s);
  });

  test('with the mouse', async () => {
    const session = await startSession();
    sessions.push(session);
    const { native, page } = session;
    const photos = makePhotos(native, NAMES);
    const out = path.join(native.dirs.work, 'out');
    mkdirSync(out);

    native.prepare(`dialog ${photos.join('|')}`);
    await page.click('#add-photos-button');
    await native.settle();
    assert.deepEqual((await tileNames(page)).sort(), [...NAMES].sort());
    assert.equal(await page.textContent('#photo-count'), '3 photos');

    await page.click('#tab-shape');
    await page.click('label.choice-card:has(input[value="Circle"])');
    await page.click('#tab-canvas');
    await page.fill('#canvas-width', '900');
    await page.fill('#canvas-height', '600');
    await page.click('#make-button');
    await native.settle();
    await page.waitForFunction(() => !document.getElementById('preview-image').hidden);
    assert.match(await page.getAttribute('#preview-image', 'src'), /_vornida_preview\.png\?v=\d+$/);
    assert.equal(await page.textContent('#state-text'), 'Done');
    assert.equal(await page.textContent('#info-text'), 'Dimensions 900 x 600, Photos 3');
    assert.ok(native.lines.includes('canvas: hide'), 'the native canvas made way for the preview picture');
    const made = lastParams(native);
    assert.equal(made.shapeType, 'Circle');
    assert.equal(made.collageSize, '900,600');

    native.prepare(`dialog ${out}/collage.png`);
    await page.click('#save-collage-button');
    await page.click('#save-confirm');
    await native.settle();
    native.prepare(`dialog ${out}/collage.psd`);
    await page.click('#save-collage-button');
    await page.click('label.format-card:has(input[value="psd"])');
    assert.equal(await page.isVisible('#jpeg-quality-field'), false);
    await page.click('#save-confirm');
    await native.settle();
    await checkSavedFiles(native, out);

    const projectFile = path.join(native.dirs.work, 'trip.vrn');
    native.prepare(`dialog ${projectFile}`);
    await page.click('.titlebar [data-action="save-project"]');
    await native.settle();
    await checkProjectFile(projectFile, await page.$$eval('#photo-grid .photo-tile', (t) => t.map((x) => x.dataset.src)));

    native.prepare('msgbox 6');
    await page.click('.titlebar [data-action="new-project"]');
    await native.settle();
    assert.equal(await page.$$eval('#photo-grid .photo-tile', (t) => t.length), 0);
    assert.equal(await page.isVisible('#preview-image'), false);
    await page.click('#tab-shape');
    assert.equal(await page.isChecked('input[name="shapeType"][value="Rectangle"]'), true);

    native.prepare(`dialog ${projectFile}`);
    await page.click('.titlebar [data-action="open-project"]');
    await native.settle();
    await checkNewThenOpened(session, photos);
  });

  test('with the keyboard alone', async () => {
    const session = await startSession();
    sessions.push(session);
    const { native, page } = session;
    const photos = makePhotos(native, NAMES);
    const out = path.join(native.dirs.work, 'out');
    mkdirSync(out);
    const kb = page.keyboard;
    const focused = () => page.evaluate(() => document.activeElement?.id || document.activeElement?.dataset.action || document.activeElement?.tagName);

    native.prepare(`dialog ${photos.join('|')}`);
    await kb.press('Control+i');
    await native.settle();
    assert.equal((await tileNames(page)).length, 3);

    // Shape: Alt+2 opens the section; Tab into the shapes, an arrow picks the next.
    await kb.press('Alt+2');
    assert.equal(await focused(), 'tab-shape');
    await kb.press('Tab');
    await kb.press('ArrowRight');
    assert.equal(await page.isChecked('input[name="shapeType"][value="Circle"]'), true);

    // Canvas: the rail answers arrows as well.
    await page.focus('#tab-shape');
    await kb.press('ArrowDown');
    assert.equal(await focused(), 'tab-canvas');
    for (let i = 0; i < 10 && (await focused()) !== 'canvas-width'; ++i) await kb.press('Tab');
    assert.equal(await focused(), 'canvas-width');
    await kb.press('Control+a');
    await kb.type('900');
    await kb.press('Tab');
    await kb.press('Control+a');
    await kb.type('600');
    const outline = await page.evaluate(() => getComputedStyle(document.activeElement).boxShadow);
    assert.notEqual(outline, 'none', 'the focused field shows its focus');

    await kb.press('Control+Enter');
    await native.settle();
    await page.waitForFunction(() => !document.getElementById('preview-image').hidden);
    assert.equal(lastParams(native).collageSize, '900,600');

    native.prepare(`dialog ${out}/collage.png`);
    await kb.press('Control+e');
    assert.equal(await page.isVisible('#save-dialog'), true);
    await kb.press('Enter');
    await native.settle();
    native.prepare(`dialog ${out}/collage.psd`);
    await kb.press('Control+e');
    await kb.press('ArrowRight');
    assert.equal(await page.isChecked('input[name="saveFormat"][value="psd"]'), true);
    await kb.press('Enter');
    await native.settle();
    await checkSavedFiles(native, out);

    const projectFile = path.join(native.dirs.work, 'trip.vrn');
    native.prepare(`dialog ${projectFile}`);
    await kb.press('Control+s');
    await native.settle();
    await checkProjectFile(projectFile, await page.$$eval('#photo-grid .photo-tile', (t) => t.map((x) => x.dataset.src)));

    native.prepare('msgbox 6');
    await kb.press('Control+n');
    await native.settle();
    assert.equal((await tileNames(page)).length, 0);

    native.prepare(`dialog ${projectFile}`);
    await kb.press('Control+o');
    await native.settle();
    await checkNewThenOpened(session, photos);
    assert.equal(existsSync(projectFile), true);
  });
});
