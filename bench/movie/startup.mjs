// How fast the main page is usable: from navigation to "LoadComplete" (the
// moment the host shows the window), and from "LoadComplete" to the page's
// first answer to a click. The page runs in Debian's Chromium over the real
// vornida-headless, as in the page tests.
//
//   (cd tests/movie && npm ci) && node bench/movie/startup.mjs [RUNS]
//
// Prints the median and the slowest run of each step, in milliseconds, and
// how long 2000 imported photos take to arrive in the grid.
import { launchBrowser, openMovie } from '../../tests/movie/harness/browser.mjs';
import { HeadlessNative } from '../../tests/movie/harness/native.mjs';

const runs = Number(process.argv[2] ?? 15);
const browser = await launchBrowser();
const native = new HeadlessNative();
const rows = [];
for (let i = 0; i < runs; ++i) {
  const { page, context } = await openMovie(browser, native);
  const t = await page.evaluate(() => {
    const nav = performance.getEntriesByType('navigation')[0];
    return { ...window.vornidaTimings, domContentLoaded: nav.domContentLoadedEventEnd };
  });
  // A click right after the hand-over, timed inside the page.
  const reaction = await page.evaluate(
    () =>
      new Promise((resolve) => {
        const tab = document.getElementById('tab-shape');
        const start = performance.now();
        new MutationObserver(() => resolve(performance.now() - start)).observe(tab, { attributes: true, attributeFilter: ['aria-selected'] });
        tab.click();
      }),
  );
  rows.push({ toLoadComplete: t.loadComplete, scripts: t.start, strings: t.strings - t.start, settings: t.settings - t.strings, views: t.shown - t.settings, reaction });
  await context.close();
}
// Photos arriving one by one, as a big import announces them.
const { page, context } = await openMovie(browser, native);
const arrival = await page.evaluate(async (count) => {
  const start = performance.now();
  for (let i = 0; i < count; ++i) {
    const name = `photo ${i}.jpg`;
    window.vornidaExternal(`<invoke name='openAddPhotosDlgCallBack'><arguments><string>&lt;photo name=&apos;${name}&apos; src=&apos;/p/${name}&apos; thumb=&apos;/t/${i}.png&apos;/&gt;</string></arguments></invoke>`);
    if (i % 50 === 49) await new Promise((r) => setTimeout(r, 0));
  }
  await new Promise((r) => requestAnimationFrame(() => r()));
  return { ms: performance.now() - start, tiles: document.querySelectorAll('.photo-tile').length };
}, 2000);
await context.close();
await browser.close();
await native.stop();

const stat = (key) => {
  const values = rows.map((r) => r[key]).sort((a, b) => a - b);
  return `${values[Math.floor(values.length / 2)].toFixed(1)} ms median, ${values.at(-1).toFixed(1)} ms slowest`;
};
console.log(`main page, ${runs} loads`);
console.log(`  navigation to LoadComplete      ${stat('toLoadComplete')}`);
console.log(`    of which module scripts        ${stat('scripts')}`);
console.log(`    text tables                    ${stat('strings')}`);
console.log(`    remembered settings (ReadReg)  ${stat('settings')}`);
console.log(`    views                          ${stat('views')}`);
console.log(`  LoadComplete to a handled click ${stat('reaction')}`);
console.log(`2000 photos announced one by one: ${arrival.ms.toFixed(0)} ms until ${arrival.tiles} tiles are in the grid`);
