// Every main state of the page, at 100 % and at 200 % (a 1080p screen at
// scale 2 leaves 960 x 540 CSS pixels), in English and Chinese: nothing may
// overflow or be cut off, and each state is kept as a screenshot to look at
// (VORNIDA_SCREENSHOTS, by default build/movie-screenshots).
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import path from 'node:path';
import { after, describe, test } from 'node:test';

import { launchBrowser, openMovie } from '../harness/browser.mjs';
import { SOURCE, projectVersion } from '../harness/native.mjs';
import { endSession, makePhotos, startSession } from './fixture.mjs';

const SHOTS = process.env.VORNIDA_SCREENSHOTS ?? path.join(SOURCE, 'build/movie-screenshots');
mkdirSync(SHOTS, { recursive: true });

// Visible elements whose text is cut off, and parts that stick out of the
// window or out of their panel.
async function layoutFaults(page) {
  return page.evaluate(() => {
    const faults = [];
    const visible = (el) => el.getClientRects().length > 0 && getComputedStyle(el).visibility !== 'hidden';
    for (const el of document.querySelectorAll('button, label, h2, h3, legend, .section-note, .picked-name, kbd, .rail-tab span, .chip')) {
      if (!visible(el) || el.classList.contains('picked-name')) continue;
      if (el.scrollWidth > el.clientWidth + 1 && getComputedStyle(el).overflow !== 'visible') faults.push(`cut: ${el.textContent.trim()}`);
    }
    for (const el of document.querySelectorAll('button, input, select, .photo-tile')) {
      if (!visible(el) || el.closest('[role="menu"][hidden], dialog:not([open])')) continue;
      const r = el.getBoundingClientRect();
      if (r.right > innerWidth + 0.5 || r.bottom > innerHeight + 0.5) {
        const scroller = el.closest('.panel-scroll');
        if (!scroller) faults.push(`outside the window: ${el.id || el.textContent.trim() || el.tagName}`);
      }
      const panel = el.closest('.panel-scroll');
      if (panel && r.right > panel.getBoundingClientRect().right + 0.5) faults.push(`outside the panel: ${el.id || el.textContent.trim()}`);
    }
    const scroll = document.querySelector('.panel-scroll');
    if (scroll.scrollWidth > scroll.clientWidth + 1) faults.push('the panel scrolls sideways');
    const title = document.getElementById('window-title').getBoundingClientRect();
    const tools = document.querySelector('.titlebar-tools').getBoundingClientRect();
    const titleText = document.getElementById('window-title');
    const range = document.createRange();
    range.selectNodeContents(titleText);
    const text = range.getBoundingClientRect();
    if (text.left < tools.right) faults.push('the title runs into the tools');
    void title;
    return faults;
  });
}

async function shoot(page, name) {
  assert.deepEqual(await layoutFaults(page), [], name);
  await page.screenshot({ path: path.join(SHOTS, `${name}.png`) });
}

const external = (page, xml) => page.evaluate((request) => window.vornidaExternal(request), xml);

const VIEWS = [
  { label: '100', scale: 1, width: 1280, height: 800 },
  { label: '200', scale: 2, width: 960, height: 540 },
];

describe('the main states', () => {
  const sessions = [];
  after(async () => {
    for (const s of sessions) await endSession(s);
  });

  for (const lang of ['en', 'zh-CN']) {
    for (const view of VIEWS) {
      if (lang === 'zh-CN' && view.label === '200') continue;
      test(`${lang} at ${view.label} %`, async () => {
        const session = await startSession({ lang, scale: view.scale, width: view.width, height: view.height });
        sessions.push(session);
        const { page, native } = session;
        const tag = `${lang}-${view.label}`;
        await shoot(page, `${tag}-01-empty`);

        const names = ['dune.jpg', 'aqua.jpg', 'wood.jpg', 'garden.jpg', 'storm.jpg', 'ladybird.jpg', 'raindrops.jpg',
          'twowings.jpg', 'blinds.jpg', 'greenmeadow.jpg', 'freshflower.jpg', "yellow & flower's.jpg"];
        native.prepare(`dialog ${makePhotos(native, names).join('|')}`);
        await page.click('#add-photos-button');
        await native.settle();
        await shoot(page, `${tag}-02-photos`);

        await page.click('#tab-shape');
        await page.click('label.choice-card:has(input[value="Text"])');
        await page.fill('#shape-text', lang === 'en' ? 'Summer' : '夏天');
        await shoot(page, `${tag}-03-shape-text`);
        await page.click('label.choice-card:has(input[value="Circle"])');
        await page.click('#tab-canvas');
        await shoot(page, `${tag}-04-canvas`);
        await page.click('#tab-items');
        await shoot(page, `${tag}-05-items`);
        await page.click('#tab-look');
        await shoot(page, `${tag}-06-look`);

        // A layout forming: what the native side reports while it works.
        await external(page, "<invoke name='notify'><arguments><string>previewing</string><string>1</string></arguments></invoke>");
        await external(page, "<invoke name='setStateText'><arguments><string>Arranging the photos…</string></arguments></invoke>");
        await external(page, "<invoke name='setProgressMaximum'><arguments><number>100</number></arguments></invoke>");
        await external(page, "<invoke name='setProgress'><arguments><number>62</number></arguments></invoke>");
        await page.waitForTimeout(300);
        await shoot(page, `${tag}-07-making`);
        await external(page, "<invoke name='notify'><arguments><string>previewing</string><string>0</string></arguments></invoke>");

        await page.click('#make-button');
        await native.settle();
        await page.waitForFunction(() => !document.getElementById('preview-image').hidden);
        await page.mouse.move(0, view.height / 2);
        await page.waitForTimeout(300);
        await shoot(page, `${tag}-08-collage`);
        // What a run had to change, above the preview, with the layout tools.
        await external(page, "<invoke name='notify'><arguments><string>layoutNote</string><string>" +
          (lang === 'en' ? 'The canvas was reduced from 90000 x 90000 to 16384 x 16384 pixels: a collage has at most 268 million pixels.'
            : '画布已从 90000 x 90000 缩小到 16384 x 16384 像素：拼贴最多 2.68 亿像素。') + '</string></arguments></invoke>');
        await page.waitForTimeout(100);
        await shoot(page, `${tag}-08b-layout-note`);

        await page.click('#save-collage-button');
        await page.waitForTimeout(200);
        await shoot(page, `${tag}-09-save-dialog`);
        await page.keyboard.press('Escape');

        await page.click('#menu-button');
        await shoot(page, `${tag}-10-menu`);
        await page.keyboard.press('Escape');

        await page.click('#tab-canvas');
        await page.click('label:has(input[name="canvasMode"][value="size"])');
        await page.fill('#canvas-width', '200000');
        await shoot(page, `${tag}-11-refused`);
        assert.deepEqual(native.pageErrors, []);
      });
    }
  }

  test('the splash screen', async () => {
    const browser = await launchBrowser();
    try {
      for (const [lang, scale] of [['en', 1], ['en', 2], ['zh-CN', 1]]) {
        const { page, context } = await openMovie(browser, null, { file: 'splash.html', lang, scale, width: 485, height: 322 });
        await page.waitForTimeout(1600);
        assert.equal(await page.textContent('#splash-version'), `${lang === 'en' ? 'Version' : '版本'} ${projectVersion()}`);
        const size = await page.$eval('#splash', (s) => [s.offsetWidth, s.offsetHeight, s.scrollWidth, s.scrollHeight]);
        assert.deepEqual(size, [485, 322, 485, 322]);
        await page.screenshot({ path: path.join(SHOTS, `splash-${lang}-${scale * 100}.png`) });
        await context.close();
      }
    } finally {
      await browser.close();
    }
  });
});
