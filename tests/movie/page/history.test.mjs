// Layouts in one click and back again, as a person plays them over the real
// vornida-headless: "New layout" (button and Ctrl+R), "Undo layout" and
// "Redo layout" (buttons, and Ctrl+Z / Ctrl+Shift+Z on the preview), the saved
// files of each, a project that opens on the layout it was saved with; the
// run's own words above the preview; photos swapped by dragging and with
// the keyboard; the photos of a project that are gone, listed once.
// Screenshots of the sequence land in VORNIDA_SCREENSHOTS as history-*.png.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, readFileSync, rmSync } from 'node:fs';
import path from 'node:path';
import { after, describe, test } from 'node:test';

import { readProject } from '../../../movie/js/project.js';
import { SOURCE } from '../harness/native.mjs';
import { argsOf, endSession, lastParams, makePhotos, startSession } from './fixture.mjs';

const SHOTS = process.env.VORNIDA_SCREENSHOTS ?? path.join(SOURCE, 'build/movie-screenshots');
mkdirSync(SHOTS, { recursive: true });

const NAMES = ['été à la plage.jpg', '海边 写真.jpg', "Tom & Jerry's.jpg", 'dunes.jpg'];

// The preview file the page shows now, as bytes (its address names it).
async function shownPreview(page) {
  const src = await page.getAttribute('#preview-image', 'src');
  const file = '/' + decodeURIComponent(new URL(src).pathname.slice('/file/'.length));
  return readFileSync(file);
}

// Waits until a run the page started has ended and its preview is on show.
async function layoutShown(page, native) {
  await native.settle();
  await page.waitForFunction(() => {
    const image = document.getElementById('preview-image');
    return !image.hidden && image.complete && !document.getElementById('make-button').classList.contains('busy');
  });
}

// A screenshot once the preview has faded in, the pointer out of the way.
async function shoot(page, name, { keepPointer = false } = {}) {
  if (!keepPointer) await page.mouse.move(1, 400);
  await page.waitForTimeout(400);
  await page.screenshot({ path: path.join(SHOTS, name) });
}

function seeds(native) {
  return native.linesMatching(/<string>layoutSeed<\/string>/).map((line) => line.match(/<string>(\d+)<\/string><\/arguments>/)[1]);
}

// Pixel-identical, through Pillow.
function samePixels(a, b) {
  const script = 'import sys\nfrom PIL import Image, ImageChops\n' +
    'x, y = (Image.open(p).convert("RGBA") for p in sys.argv[1:])\n' +
    'print(x.size == y.size and ImageChops.difference(x, y).getbbox() is None)';
  return execFileSync('/usr/bin/python3', ['-c', script, a, b], { encoding: 'utf8' }).trim() === 'True';
}

async function savePicture(page, native, file) {
  native.prepare(`dialog ${file}`);
  await page.click('#save-collage-button');
  await page.click('#save-confirm');
  await native.settle();
}

async function enabled(page) {
  return {
    undo: !(await page.isDisabled('#undo-layout')),
    redo: !(await page.isDisabled('#redo-layout')),
    next: !(await page.isDisabled('#new-layout')),
  };
}

async function tileOrder(page) {
  return page.$$eval('#photo-grid .photo-tile', (tiles) => tiles.map((t) => t.title));
}

describe('the layout history', () => {
  const sessions = [];
  after(async () => {
    for (const s of sessions) await endSession(s);
  });

  test('new layouts, undo twice, save, redo, and a project that opens on its layout', async () => {
    const session = await startSession();
    sessions.push(session);
    const { native, page } = session;
    const photos = makePhotos(native, NAMES);
    const out = path.join(native.dirs.work, 'out');
    mkdirSync(out);
    native.prepare(`dialog ${photos.join('|')}`);
    await page.click('#add-photos-button');
    await native.settle();
    await page.click('#tab-canvas');
    await page.fill('#canvas-width', '900');
    await page.fill('#canvas-height', '600');
    assert.deepEqual(await enabled(page), { undo: false, redo: false, next: false });

    await page.click('#make-button');
    await layoutShown(page, native);
    const first = await shownPreview(page);
    assert.deepEqual(await enabled(page), { undo: false, redo: false, next: true });
    await savePicture(page, native, `${out}/first.png`);
    await shoot(page, 'history-1-first-layout.png');

    await page.click('#new-layout');
    await layoutShown(page, native);
    const second = await shownPreview(page);
    assert.equal(argsOf(native, 'MakeShape').length, 1, 'a new layout is not another MakeShape');
    assert.equal(argsOf(native, 'NewLayout').length, 1);
    assert.equal(lastParams(native, 'NewLayout').seed, undefined, 'the native side picks the new seed');
    assert.notDeepEqual(second, first);
    assert.deepEqual(await enabled(page), { undo: true, redo: false, next: true });
    await shoot(page, 'history-2-new-layout.png');

    await page.click('#tab-photos');
    await page.keyboard.press('Control+R');
    await layoutShown(page, native);
    const third = await shownPreview(page);
    assert.equal(argsOf(native, 'NewLayout').length, 2);
    assert.notDeepEqual(third, second);
    await shoot(page, 'history-3-third-layout.png');

    // Ctrl+Z belongs to the preview: in a text field it does nothing here.
    await page.click('#tab-canvas');
    await page.focus('#canvas-width');
    await page.keyboard.press('Control+Z');
    await native.settle();
    assert.equal(native.requestsNamed('UndoLayout').length, 0);

    await page.click('#canvas-area');
    await page.keyboard.press('Control+Z');
    await layoutShown(page, native);
    assert.deepEqual(await shownPreview(page), second);
    await page.click('#undo-layout');
    await layoutShown(page, native);
    assert.deepEqual(await shownPreview(page), first);
    assert.deepEqual(await enabled(page), { undo: false, redo: true, next: true });
    await shoot(page, 'history-4-undone-twice.png');
    await savePicture(page, native, `${out}/undone.png`);
    assert.ok(samePixels(`${out}/first.png`, `${out}/undone.png`), 'the file saved after undo is not the first layout');

    await page.click('#canvas-area');
    await page.keyboard.press('Control+Shift+Z');
    await layoutShown(page, native);
    assert.deepEqual(await shownPreview(page), second);
    assert.deepEqual(await enabled(page), { undo: true, redo: true, next: true });
    await shoot(page, 'history-5-redone.png');
    const shownSeed = seeds(native).at(-1);
    assert.equal(seeds(native).length, 6);
    assert.equal(shownSeed, seeds(native)[1]);

    const projectFile = path.join(native.dirs.work, 'trip.vrn');
    native.prepare(`dialog ${projectFile}`);
    await page.click('.titlebar [data-action="save-project"]');
    await native.settle();
    const saved = readProject(readFileSync(projectFile, 'utf8'));
    assert.equal(saved.seed, shownSeed);
    assert.deepEqual([saved.settings.canvasWidth, saved.settings.canvasHeight], [900, 600]);

    native.prepare('msgbox 6');
    await page.click('.titlebar [data-action="new-project"]');
    await native.settle();
    assert.equal(native.requestsNamed('ClearLayoutHistory').length, 1);
    assert.deepEqual(await enabled(page), { undo: false, redo: false, next: false });

    native.prepare(`dialog ${projectFile}`);
    await page.click('.titlebar [data-action="open-project"]');
    await layoutShown(page, native);
    assert.equal(lastParams(native, 'MakeShape').seed, shownSeed, 'the project was made again without its seed');
    assert.deepEqual(await shownPreview(page), second, 'the reopened project shows another arrangement');
    assert.equal(await page.inputValue('#canvas-width'), '900');
    await shoot(page, 'history-6-project-reopened.png');
    assert.deepEqual(native.pageErrors, []);
    assert.deepEqual(native.callErrors, []);
  });

  test('a layout made again brings back its own settings, which do not count as a change', async () => {
    const session = await startSession();
    sessions.push(session);
    const { native, page } = session;
    native.prepare(`dialog ${makePhotos(native, NAMES.slice(0, 3)).join('|')}`);
    await page.click('#add-photos-button');
    await native.settle();
    await page.click('#make-button');
    await layoutShown(page, native);
    await page.click('#tab-look');
    await page.fill('#max-angle-number', '40');
    // The change re-makes the collage on its own, shortly after.
    await page.waitForFunction(() => document.getElementById('make-button').classList.contains('busy'), null, { timeout: 5000 });
    await layoutShown(page, native);
    assert.equal(lastParams(native, 'MakeShape').maxAngle, '40');
    const makes = argsOf(native, 'MakeShape').length;

    await page.click('#undo-layout');
    await layoutShown(page, native);
    assert.equal(await page.inputValue('#max-angle-number'), '15', 'the undone layout\'s angle is shown');
    await page.waitForTimeout(1200); // longer than the re-make delay
    await native.settle();
    assert.equal(argsOf(native, 'MakeShape').length, makes, 'restoring the settings made the collage again');
    assert.deepEqual(native.pageErrors, []);
  });

  test('what the run says shows above the preview: why it failed, what it changed', async () => {
    const session = await startSession();
    sessions.push(session);
    const { native, page } = session;
    native.prepare(`dialog ${makePhotos(native, NAMES.slice(0, 2)).join('|')}`);
    await page.click('#add-photos-button');
    await native.settle();
    assert.equal(await page.isVisible('#layout-message'), false);
    await page.click('#tab-canvas');
    await page.fill('#canvas-width', '90000');
    await page.fill('#canvas-height', '90000');
    await page.click('#make-button');
    await layoutShown(page, native);
    const note = await page.textContent('#layout-message-text');
    assert.ok(note.length > 0, 'the reduced canvas is not told');
    assert.equal(await page.getAttribute('#layout-message', 'class'), 'layout-message');
    await shoot(page, 'history-7-layout-note.png');

    await page.click('#tab-items');
    await page.click('label:has(input[name="itemsMode"][value="count"])');
    await page.fill('#item-count', '1000000');
    await page.click('#tab-canvas');
    await page.fill('#canvas-width', '100000');
    await page.click('#make-button');
    await native.settle();
    await page.waitForFunction(() => !document.getElementById('make-button').classList.contains('busy'));
    await page.waitForSelector('#layout-message.error');
    const problem = await page.textContent('#layout-message-text');
    assert.ok(native.linesMatching(/<string>layoutFailed<\/string>/).length >= 1);
    assert.ok(problem.length > 0);
    assert.equal(await page.getAttribute('#layout-message', 'role'), 'alert');
    await shoot(page, 'history-8-layout-failed.png');

    // A run that goes well says nothing.
    await page.fill('#canvas-width', '800');
    await page.fill('#canvas-height', '600');
    await page.click('#tab-items');
    await page.fill('#item-count', '6');
    await page.click('#make-button');
    await layoutShown(page, native);
    assert.equal(await page.isVisible('#layout-message'), false);
    assert.deepEqual(native.pageErrors, []);
  });

  test('photos change places by dragging one onto another, or with Alt+arrows; gone ones are listed once', async () => {
    const session = await startSession();
    sessions.push(session);
    const { native, page } = session;
    const photos = makePhotos(native, NAMES);
    native.prepare(`dialog ${photos.join('|')}`);
    await page.click('#add-photos-button');
    await native.settle();
    const before = await tileOrder(page);
    assert.equal(await page.isVisible('#order-hint'), true);

    // Pressed on the first, dragged over the second onto the third.
    const centre = async (n) => {
      const box = await page.locator(`#photo-grid .photo-tile:nth-child(${n})`).boundingBox();
      return [box.x + box.width / 2, box.y + box.height / 2];
    };
    await page.mouse.move(...(await centre(1)));
    await page.mouse.down();
    await page.mouse.move(...(await centre(2)), { steps: 4 });
    assert.equal(await page.$$eval('.photo-tile.drop-target', (t) => t.map((x) => x.title)).then((t) => t.join()), before[1]);
    await page.mouse.move(...(await centre(3)), { steps: 4 });
    await shoot(page, 'history-9a-photo-dragged.png', { keepPointer: true });
    await page.mouse.up();
    await native.settle();
    assert.equal(await page.$$eval('.drop-target, .drag-source', (t) => t.length), 0);
    const dragged = await tileOrder(page);
    assert.deepEqual(dragged, [before[2], before[1], before[0], before[3]]);
    assert.deepEqual(argsOf(native, 'SwapPhotos').at(-1).map((p) => path.basename(p)), [before[0], before[2]]);
    assert.equal(native.lines.filter((l) => l === 'answer: <true/>').length > 0, true);

    await page.focus('#photo-grid .photo-tile:nth-child(2)');
    await page.keyboard.press('Alt+ArrowRight');
    await native.settle();
    assert.deepEqual(await tileOrder(page), [before[2], before[0], before[1], before[3]]);
    assert.equal(await page.evaluate(() => document.activeElement.title), before[1], 'the keyboard stays with the photo');
    await page.keyboard.press('Alt+ArrowLeft');
    await native.settle();
    assert.deepEqual(await tileOrder(page), dragged);
    await shoot(page, 'history-9b-photos-swapped.png');
    // A press that does not move is a click, not a swap.
    const swaps = argsOf(native, 'SwapPhotos').length;
    await page.click('#photo-grid .photo-tile:nth-child(2)');
    await native.settle();
    assert.equal(argsOf(native, 'SwapPhotos').length, swaps);

    // The next layout follows the list: a project saved now lists that order.
    const projectFile = path.join(native.dirs.work, 'order.vrn');
    native.prepare(`dialog ${projectFile}`);
    await page.click('.titlebar [data-action="save-project"]');
    await native.settle();
    assert.deepEqual(readProject(readFileSync(projectFile, 'utf8')).photos.map((p) => path.basename(p)), dragged);

    // Two of the project's photos go; opening it (after starting anew) names
    // them, once.
    native.prepare('msgbox 6');
    await page.click('.titlebar [data-action="new-project"]');
    await native.settle();
    rmSync(photos[1]);
    rmSync(photos[3]);
    native.prepare(`dialog ${projectFile}`);
    native.prepare('msgbox 1');
    await page.click('.titlebar [data-action="open-project"]');
    await native.settle();
    await page.waitForFunction(() => document.querySelectorAll('#photo-grid .photo-tile').length === 2);
    await native.settle();
    const boxes = native.linesMatching(/^msgbox:/).slice(1);  // after the new-project question
    assert.equal(boxes.length, 1, boxes.join('\n'));
    assert.ok(boxes[0].includes(photos[1]) && boxes[0].includes(photos[3]), boxes[0]);
    assert.ok(!boxes[0].includes(photos[0]), boxes[0]);
    assert.match(boxes[0], /2 photos of this project were not found/);
    assert.deepEqual(native.pageErrors, []);
  });
});
