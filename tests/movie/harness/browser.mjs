// Debian's Chromium through Playwright, and the main page opened over the
// real native side (native.mjs).

import { chromium } from 'playwright-core';
import { ORIGIN, attachNative, routeMovie } from './native.mjs';

const FLAGS = [
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
];

export function launchBrowser() {
  return chromium.launch({
    executablePath: process.env.VORNIDA_CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    chromiumSandbox: false,
    args: FLAGS,
  });
}

// Opens movie/main.html (or `file`) over `native` and waits until the page
// has handed over ("LoadComplete"). Gives { context, page }.
export async function openMovie(browser, native, { lang = 'en', scale = 1, width = 1280, height = 800, file = 'main.html' } = {}) {
  const context = await browser.newContext({ viewport: { width, height }, deviceScaleFactor: scale });
  await routeMovie(context);
  const page = await context.newPage();
  page.on('pageerror', (error) => native?.pageErrors?.push(String(error)));
  if (native) {
    native.pageErrors = [];
    await attachNative(page, native);
  }
  await page.goto(`${ORIGIN}/movie/${file}?lang=${lang}`);
  if (file === 'main.html') await page.waitForFunction(() => window.vornidaReady === true, null, { timeout: 20000 });
  return { context, page };
}
