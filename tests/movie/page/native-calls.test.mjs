// What each call of the native side does to the page, with the request texts
// exactly as the native side writes them; the window commands the title bar
// sends; the canvas area; answers that do not come, and projects that do
// not read.
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';
import path from 'node:path';
import { after, before, describe, test } from 'node:test';

import { argsOf, endSession, makePhotos, startSession } from './fixture.mjs';
import { projectVersion } from '../harness/native.mjs';

let session;
let page;
let native;

const external = (xml) => page.evaluate((request) => window.vornidaExternal(request), xml);
const str = (name, text) => `<invoke name='${name}'><arguments><string>${text}</string></arguments></invoke>`;
const num = (name, n) => `<invoke name='${name}'><arguments><number>${n}</number></arguments></invoke>`;
const notify = (event, value) => `<invoke name='notify'><arguments><string>${event}</string><string>${value}</string></arguments></invoke>`;
const nextFrame = () => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => r())));

before(async () => {
  session = await startSession();
  ({ page, native } = session);
});

after(() => endSession(session));

describe('calls of the native side', () => {
  test('the status strip: state text, info text and progress', async () => {
    assert.equal(await external(str('setStateText', 'Loading photo: Tom & Jerry <1>.jpg')), '');
    await external(str('setInfoText', 'Dimensions 3000 x 2000, Photos 150'));
    await external(notify('importing', '1'));
    await external(num('setProgressMaximum', 8));
    await external(num('setProgress', 2));
    await nextFrame();
    assert.equal(await page.textContent('#state-text'), 'Loading photo: Tom & Jerry <1>.jpg');
    assert.equal(await page.textContent('#info-text'), 'Dimensions 3000 x 2000, Photos 150');
    assert.equal(await page.getAttribute('#progress', 'aria-valuenow'), '25');
    assert.equal(await page.isVisible('#import-line'), true);
    await external("<invoke name='setProgressVisual'><arguments><false/></arguments></invoke>");
    await nextFrame();
    assert.equal(await page.$eval('#progress', (p) => getComputedStyle(p).visibility), 'hidden');
    await external(notify('importing', '0'));
    await nextFrame();
    assert.equal(await page.isVisible('#import-line'), false);
  });

  test('importing, previewing and saving hold back what must wait', async () => {
    native.prepare(`dialog ${makePhotos(native, ['one.jpg']).join('|')}`);
    await page.click('#add-photos-button');
    await native.settle();
    assert.equal(await page.isEnabled('#make-button'), true);
    for (const event of ['importing', 'previewing', 'saving']) {
      await external(notify(event, '1'));
      await nextFrame();
      assert.equal(await page.isDisabled('#make-button'), true, event);
      await external(notify(event, '0'));
      await nextFrame();
      assert.equal(await page.isEnabled('#make-button'), true, event);
    }
    await external(notify('previewing', '1'));
    await nextFrame();
    assert.equal(await page.isDisabled('.photo-remove'), true, 'photos stay while a layout reads them');
    assert.equal(await page.isDisabled('.titlebar [data-action="open-project"]'), true);
    assert.equal(await page.textContent('#make-label'), 'Making…');
    await external(notify('previewing', '0'));
    assert.equal(await page.isDisabled('#save-collage-button'), true, 'no collage yet');
    await external(notify('haveCreateCollage', 'true'));
    await nextFrame();
    assert.equal(await page.isEnabled('#save-collage-button'), true);
  });

  test('the preview picture replaces the native canvas, and makes way for it again', async () => {
    const picture = makePhotos(native, ['preview & <co>.jpg'], 'previews')[0];
    await external(str('setShapePreview', picture));
    await page.waitForFunction(() => !document.getElementById('preview-image').hidden);
    assert.ok((await page.getAttribute('#preview-image', 'src')).includes(encodeURIComponent('preview & <co>.jpg')));
    await native.settle();
    assert.equal(native.requestsNamed('HideVCCanvas').length >= 1, true);
    assert.equal(await page.$eval('#preview-image', (img) => img.naturalWidth > 0), true, 'the picture loaded');
    await external("<invoke name='clearPreviewShape'><arguments></arguments></invoke>");
    await nextFrame();
    assert.equal(await page.isVisible('#preview-image'), false);
  });

  test('chosen pictures: the custom shape and the background', async () => {
    const [shape, background] = makePhotos(native, ["shape's & co.jpg", 'bg.jpg'], 'chosen');
    await external(str('setCustomShape', shape));
    await external(str('setBackgroundFile', background));
    await nextFrame();
    assert.equal(await page.isChecked('input[name="shapeType"][value="Image"]'), true);
    assert.equal(await page.textContent('#shape-name'), "shape's & co.jpg");
    assert.equal(await page.isChecked('input[name="backgroundType"][value="Image"]'), true);
    assert.equal(await page.textContent('#background-name'), 'bg.jpg');
  });

  test('texts by key, with printf formats intact, and the version', async () => {
    assert.equal(await external(str('getStr', 'Done')), '<string>Done</string>');
    assert.equal(await external(str('getStr', 'UW.Page2.Msg1')), '<string>A new version is available. You have version %.2f; version %.2f is ready to download.</string>');
    assert.equal(await external(str('getStr', 'App_Project_File')), '<string>Vornida project </string>');
    assert.equal(await external(str('getStr', 'No.Such.Key')), '');
    assert.equal(await external("<invoke name='getVerStr'><arguments></arguments></invoke>"), `<string>${projectVersion()}</string>`);
    // Every text the native side asked for during these tests, the page answered.
    assert.ok(native.getStrAnswers.length > 0);
    for (const { key, answer } of native.getStrAnswers) assert.match(answer, /^<string>.+<\/string>$/, key);
  });

  test('an imported photo whose name holds markup characters shows as it is', async () => {
    const text = "&lt;photo name=&apos;x &amp; y&apos;s &lt;z&gt;.jpg&apos; src=&apos;/p/x &amp; y&apos;s &lt;z&gt;.jpg&apos; thumb=&apos;/t/1.png&apos;/&gt;";
    await external(str('openAddPhotosDlgCallBack', text));
    await nextFrame();
    assert.equal(await page.$eval('.photo-tile[data-src="/p/x & y\'s <z>.jpg"]', (t) => t.title), "x & y's <z>.jpg");
    await external(str('openAddPhotosDlgCallBack', text));
    await nextFrame();
    assert.equal(await page.$$eval('.photo-tile', (t) => t.filter((x) => x.title === "x & y's <z>.jpg").length), 1, 'no duplicates');
  });

  test('a request the page cannot read, or a function it lacks, fails the call', async () => {
    await assert.rejects(external('<invoke name="notify"><arguments><string>open'), /not an invoke message/);
    await assert.rejects(external("<invoke name='noSuchFunction'><arguments></arguments></invoke>"), /no function/);
  });
});

describe('flows that end without an answer', () => {
  test('a cancelled dialog leaves the page as it was', async () => {
    // The settings changed above re-make the collage made above after a
    // pause; let that run end first.
    await page.waitForTimeout(900);
    await native.settle();
    const tiles = await page.$$eval('.photo-tile', (t) => t.length);
    native.prepare('dialog');
    await page.click('#add-photos-button');
    await native.settle();
    native.prepare('dialog');
    await page.click('.titlebar [data-action="open-project"]');
    await native.settle();
    assert.equal(await page.$$eval('.photo-tile', (t) => t.length), tiles);
    assert.equal(native.linesMatching(/^msgbox:/).length, 0);
    assert.equal(await page.isEnabled('#add-photos-button'), true);
  });

  test('a project that does not read shows a message, not a blank page', async () => {
    const broken = path.join(native.dirs.work, 'broken.vrn');
    writeFileSync(broken, '<VornidaProject><Photos><Photo src="/a.jpg">');
    const tiles = await page.$$eval('.photo-tile', (t) => t.length);
    native.prepare(`dialog ${broken}`);
    native.prepare('msgbox 1');
    await page.click('.titlebar [data-action="open-project"]');
    await native.settle();
    const box = native.linesMatching(/^msgbox:/);
    assert.equal(box.length, 1);
    assert.match(box[0], /style=16 caption=Vornida text=This project file could not be read/);
    assert.equal(await page.$$eval('.photo-tile', (t) => t.length), tiles);
  });
});

describe('the window', () => {
  test('title bar: drag, double click, window menu, buttons', async () => {
    const title = page.locator('#window-title');
    const box = await page.locator('#titlebar').boundingBox();
    await page.mouse.move(box.x + 500, box.y + 20);
    await page.mouse.down();
    await page.mouse.up();
    await page.mouse.dblclick(box.x + 500, box.y + 20);
    await page.mouse.click(box.x + 520, box.y + 18, { button: 'right' });
    await page.click('#win-minimize');
    await page.click('#win-maximize');
    await native.settle();
    void title;
    const window = native.linesMatching(/^window: /);
    assert.ok(window.includes('window: message 1725'), 'dragging enters the move');
    assert.ok(window.includes('window: message 1726'));
    assert.ok(window.includes('window: syscommand 0xF120'), 'a double click restores the maximised window');
    assert.ok(window.includes(`window: sysmenu 520 18`));
    assert.ok(window.includes('window: syscommand 0xF020'), 'minimise');
    assert.ok(window.includes('window: syscommand 0xF030'), 'the button maximises the restored window');
    assert.equal(await page.getAttribute('#win-maximize', 'aria-label'), 'Restore');
  });

  test('the canvas area follows the stage', async () => {
    const area = async () => page.$eval('#canvas-area', (a) => a.dataset.canvasArea);
    const first = await area();
    await page.setViewportSize({ width: 1000, height: 700 });
    await page.waitForFunction((old) => document.getElementById('canvas-area').dataset.canvasArea !== old, first);
    await native.settle();
    const [x, y, w, h] = (await area()).split(',').map(Number);
    const rect = await page.$eval('#canvas-area', (a) => a.getBoundingClientRect().toJSON());
    assert.deepEqual([x, y, w, h], [Math.round(rect.left), Math.round(rect.top), Math.round(rect.width), Math.round(rect.height)]);
    const reports = argsOf(native, 'UpdateVornidaCanvasPos');
    assert.deepEqual(reports.at(-1), [x, y, w, h]);
    assert.ok(native.lines.some((l) => l.startsWith('canvas: move ')), 'the native side placed its canvas');
  });

  test('the close button and the menu quit through the native side', async () => {
    await page.click('#menu-button');
    assert.equal(await page.isVisible('#app-menu'), true);
    await page.keyboard.press('Escape');
    assert.equal(await page.isVisible('#app-menu'), false);
    assert.equal(await page.evaluate(() => document.activeElement.id), 'menu-button');
    await page.click('#menu-button');
    await page.click('#app-menu [data-action="home-site"]');
    await page.click('#win-close');
    await native.settle();
    assert.ok(native.lines.includes('shell: open https://vornida.example/'));
    assert.ok(native.lines.includes('window: syscommand 0xF060'));
  });
});
