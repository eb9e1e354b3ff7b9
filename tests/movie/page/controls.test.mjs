// Each screen's controls and the parameter text they produce; refused
// values; settings kept across runs through the real settings store.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';

import { argsOf, endSession, lastParams, makePhotos, startSession } from './fixture.mjs';
import { openMovie } from '../harness/browser.mjs';

let session;
let page;
let native;

async function make() {
  const before = argsOf(native, 'MakeShape').length;
  await page.click('#make-button');
  await native.settle();
  // A change made just before may already have re-made it by itself.
  assert.ok(argsOf(native, 'MakeShape').length >= before + 1, 'a collage was made');
  return lastParams(native);
}

before(async () => {
  session = await startSession();
  ({ page, native } = session);
  native.prepare(`dialog ${makePhotos(native, ['a.jpg', 'b.jpg', 'c.jpg']).join('|')}`);
  await page.click('#add-photos-button');
  await native.settle();
});

after(() => endSession(session));

describe('controls and the parameter text', () => {
  test('the defaults, with same size on', async () => {
    const p = await make();
    assert.equal(p.shapeType, 'Rectangle');
    assert.equal(p.collageSize, '1600,1200');
    assert.equal(p.numPhotos, '-1');
    assert.equal(p.itemBoundingBoxWidth, '-1');
    assert.equal(p.samePhotoSize, 'true');
  });

  test('canvas: presets, orientation, typed sizes and an aspect ratio', async () => {
    await page.click('#tab-canvas');
    await page.selectOption('#canvas-preset', 'a4');
    assert.equal((await make()).collageSize, '3508,2480');
    await page.click('#orient-portrait');
    assert.equal(await page.inputValue('#canvas-width'), '2480');
    assert.equal((await make()).collageSize, '2480,3508');
    await page.fill('#canvas-width', '1000');
    await page.fill('#canvas-height', '700');
    assert.equal(await page.inputValue('#canvas-preset'), 'custom');
    assert.equal((await make()).collageSize, '1000,700');
    await page.click('label:has(input[name="canvasMode"][value="aspect"])');
    await page.click('#aspect-chips .chip:text-is("16:9")');
    const p = await make();
    assert.equal(p.collageSize, '0,0');
    assert.equal(p.aspectRatio, '1.7778');
    assert.equal(p.itemBoundingBoxWidth, '300');
    await page.click('label:has(input[name="canvasMode"][value="size"])');
  });

  test('items: count, size, same size and spacing', async () => {
    await page.click('#tab-items');
    await page.click('label:has(input[name="itemsMode"][value="fill"])');
    assert.equal((await make()).numPhotos, '-2');
    await page.fill('#item-count', '42');
    assert.equal(await page.isChecked('input[name="itemsMode"][value="count"]'), true, 'typing a count picks it');
    await page.fill('#item-size', '150');
    await page.click('.switch-line:has([data-setting="samePhotoSize"])');
    await page.fill('#spacing-number', '0.75');
    const p = await make();
    assert.deepEqual([p.numPhotos, p.itemBoundingBoxWidth, p.samePhotoSize, p.spacing], ['42', '150', 'false', '0.75']);
    assert.equal(await page.$eval('.slider-field:has(#spacing-number) input[type="range"]', (r) => r.value), '0.75');
  });

  test('look: border, tilt, shadow and background', async () => {
    await page.click('#tab-look');
    await page.fill('#border-number', '5');
    await page.fill('.color-field:has(#border-color) .color-text', '#123456');
    await page.fill('#avg-angle-number', '-20');
    await page.fill('#max-angle-number', '30');
    await page.fill('#shadow-x', '2');
    await page.fill('#shadow-y', '-1.5');
    await page.click('label:has(input[name="backgroundType"][value="Transparent"])');
    let p = await make();
    assert.deepEqual(
      [p.borderSize, p.borderColor, p.avgAngle, p.maxAngle, p.offsetX, p.offsetY, p.backgroundTransparent, p.noShadow],
      ['0.05', '#123456', '-20', '30', '0.02', '-0.015', 'true', 'false'],
    );
    await page.click('.switch-line:has([data-setting="shadow"])');
    assert.equal(await page.isVisible('#shadow-x'), false, 'the offsets go with the shadow');
    await page.click('label:has(input[name="backgroundType"][value="Color"])');
    await page.fill('.color-field:has(#background-color) .color-text', '0x00ff00');
    p = await make();
    assert.deepEqual([p.noShadow, p.backgroundTransparent, p.backgroundColor], ['true', 'false', '#00ff00']);
  });

  test('a picture background and a picture shape come from their dialogs', async () => {
    const [picture, silhouette] = makePhotos(native, ["sky & sea's.jpg", 'heart <1>.jpg'], 'pictures');
    native.prepare(`dialog ${picture}`);
    await page.click('label:has(input[name="backgroundType"][value="Image"])');
    assert.equal(await page.isDisabled('#make-button'), true, 'no background picture yet');
    await page.click('#browse-background');
    await native.settle();
    assert.equal(await page.textContent('#background-name'), "sky & sea's.jpg");
    native.prepare(`dialog ${silhouette}`);
    await page.click('#tab-shape');
    await page.click('label.choice-card:has(input[value="Image"])');
    await page.click('#browse-shape');
    await native.settle();
    // The chosen silhouette shows, loaded through the page's file addresses.
    await page.waitForFunction(() => document.getElementById('shape-thumb').naturalWidth > 0, null, { timeout: 10000 });
    assert.equal(await page.isVisible('#shape-thumb'), true);
    const p = await make();
    assert.deepEqual([p.shapeType, p.shape, p.backgroundType, p.backgroundFile], ['Image', silhouette, 'Image', picture]);
  });

  test('a text shape is drawn by the page and sent as a picture first', async () => {
    await page.click('label.choice-card:has(input[value="Text"])');
    await page.fill('#shape-text', 'Hi & 你好');
    await page.selectOption('#shape-font', 'Serif');
    const p = await make();
    const [base64] = argsOf(native, 'SetTextShape').at(-1);
    const png = Buffer.from(base64, 'base64');
    assert.equal(png.subarray(1, 4).toString('latin1'), 'PNG');
    assert.ok(png.readUInt32BE(16) > png.readUInt32BE(20), 'a line of text is wider than high');
    assert.match(p.shape, /\/Vornida\/TextShape\.png$/);
    assert.deepEqual([p.shapeType, p.shapeText, p.shapeFont], ['Text', 'Hi & 你好', 'Serif']);
    // The same text again reuses the picture the native side holds.
    await make();
    assert.equal(argsOf(native, 'SetTextShape').length, 1);
  });
});

describe('values the controls refuse', () => {
  test('out of range or not a number: a hint, Make held back, nothing sent', async () => {
    await page.click('#tab-canvas');
    const sent = argsOf(native, 'MakeShape').length;
    for (const bad of ['0', '100001', '12.5', '']) {
      await page.fill('#canvas-width', bad);
      assert.equal(await page.getAttribute('#canvas-width', 'aria-invalid'), 'true', bad);
      assert.equal(await page.isVisible('[data-hint-for~="canvasWidth"]'), true);
      assert.equal(await page.isDisabled('#make-button'), true);
    }
    assert.match(await page.textContent('[data-hint-for~="canvasWidth"]'), /1.*100000/);
    await page.keyboard.press('Control+Enter');
    await native.settle();
    assert.equal(argsOf(native, 'MakeShape').length, sent);
    await page.fill('#canvas-width', '1200');
    assert.equal(await page.getAttribute('#canvas-width', 'aria-invalid'), null);
    assert.equal(await page.isVisible('[data-hint-for~="canvasWidth"]'), false);
    assert.equal((await make()).collageSize.split(',')[0], '1200');
  });

  test('a JPEG quality outside 1..100 keeps the save dialog from saving', async () => {
    await page.click('#save-collage-button');
    await page.fill('#jpeg-quality-number', '150');
    await page.click('#save-confirm');
    assert.equal(await page.isVisible('#save-dialog'), true);
    await page.fill('#jpeg-quality-number', '75');
    native.prepare('dialog');
    await page.click('#save-confirm');
    await native.settle();
    assert.equal(lastParams(native, 'SaveShape').jpegQuality, '75');
    // The cancelled save dialog left the page as it was.
    assert.equal(await page.isEnabled('#save-collage-button'), true);
    assert.deepEqual(native.pageErrors, []);
  });
});

describe('changes once a collage exists', () => {
  test('re-make it by themselves after a short pause', async () => {
    await page.click('#tab-look');
    await make();
    const before = argsOf(native, 'MakeShape').length;
    await page.fill('#max-angle-number', '33');
    await page.fill('#avg-angle-number', '4');
    await page.waitForTimeout(100);
    assert.equal(argsOf(native, 'MakeShape').length, before, 'not at once');
    for (let i = 0; i < 50 && argsOf(native, 'MakeShape').length === before; ++i) await page.waitForTimeout(100);
    await native.settle();
    assert.equal(argsOf(native, 'MakeShape').length, before + 1, 'one run for both changes');
    const p = lastParams(native);
    assert.deepEqual([p.maxAngle, p.avgAngle], ['33', '4']);
  });
});

describe('settings kept across runs', () => {
  test('a new page over the same settings store comes back with the last values', async () => {
    await page.waitForTimeout(600);
    await native.settle();
    const writes = argsOf(native, 'WriteReg');
    assert.ok(writes.some(([key, value, section]) => key === 'jpegQuality' && value === '75' && section === 'Setting'));
    const second = await openMovie(session.browser, native);
    const p = second.page;
    assert.equal(await p.inputValue('#shape-text'), 'Hi & 你好');
    assert.equal(await p.isChecked('input[name="shapeType"][value="Text"]'), true);
    assert.equal(await p.inputValue('#item-count'), '42');
    assert.equal(await p.isChecked('[data-setting="samePhotoSize"]'), false);
    assert.equal(await p.inputValue('#canvas-width'), '1200');
    assert.equal(await p.inputValue('#jpeg-quality-number'), '75');
    await second.context.close();
  });
});
