// What the page tests share: Chromium with the page open over a fresh
// vornida-headless, sample photos with awkward names, and readers for what
// the page sent.

import { copyFileSync, mkdirSync } from 'node:fs';
import path from 'node:path';

import { decodeInvoke } from '../../../movie/js/bridge.js';
import { attr, parseXml } from '../../../movie/js/xml.js';
import { launchBrowser, openMovie } from '../harness/browser.mjs';
import { HeadlessNative, SOURCE } from '../harness/native.mjs';

export const DEMO = path.join(SOURCE, 'assets/demo-photos');

export async function startSession({ lang = 'en', scale = 1, width = 1280, height = 800, native = null, browser = null } = {}) {
  native ??= new HeadlessNative({ lang });
  browser ??= await launchBrowser();
  const { context, page } = await openMovie(browser, native, { lang, scale, width, height });
  await native.settle();
  return { native, browser, context, page };
}

export async function endSession({ native, browser }) {
  await browser?.close();
  if (native) {
    const code = await native.stop();
    if (code !== 0) throw new Error(`vornida-headless ended with ${code}: ${native.stderr}`);
  }
}

// Copies demo photos into the session's work folder under the given names.
export function makePhotos(native, names, folder = 'photos') {
  const dir = path.join(native.dirs.work, folder);
  mkdirSync(dir, { recursive: true });
  const sources = ['dune.jpg', 'aqua.jpg', 'wood.jpg', 'garden.jpg', 'storm.jpg', 'ladybird.jpg', 'raindrops.jpg', 'twowings.jpg'];
  return names.map((name, i) => {
    const target = path.join(dir, name);
    copyFileSync(path.join(DEMO, sources[i % sources.length]), target);
    return target;
  });
}

// The arguments of every request of the page named `name`.
export function argsOf(native, name) {
  return native.requestsNamed(name).map((xml) => decodeInvoke(xml).args);
}

// The attributes of the parameter text of the last request named `name`.
export function lastParams(native, name = 'MakeShape') {
  const all = argsOf(native, name);
  if (all.length === 0) return null;
  const element = parseXml(all.at(-1)[0]);
  return Object.fromEntries(element.attrs.map(([k]) => [k, attr(element, k)]));
}

// Clicks and waits until the native side has run everything that followed.
export async function clickAndSettle(page, native, selector) {
  await page.click(selector);
  await native.settle();
}
