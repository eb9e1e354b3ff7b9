// The native side for page tests: the real vornida-headless, driven line by
// line, standing in for the desktop host's bridge.
//
// Every request of the page goes to the console as a script line followed by
// "wait", so the native side runs it to its end (workers included) as it
// would in the program; every "call:" it prints is handed to the page's
// window.vornidaExternal in order. The console answers getStr itself from the
// page's own string table (--strings movie/strings/<lang>.json), so the texts
// the page shows for native events are the real ones.
//
// "LoadComplete" is answered here and not passed on: in the console it only
// arms the silent update check, which the page tests have no use for.

import { spawn } from 'node:child_process';
import { existsSync, mkdtempSync, mkdirSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const SOURCE = path.resolve(here, '../../..');
export const MOVIE = path.join(SOURCE, 'movie');

// The console from the build tree (VORNIDA_BUILD names another build folder).
function buildFolder() {
  return process.env.VORNIDA_BUILD ?? path.join(SOURCE, 'build');
}
export function headlessBinary() {
  return path.join(buildFolder(), 'src/tools/vornida-headless/vornida-headless');
}

// The movie's files the build writes from templates (js/version.js), which
// the source folder holds only as templates.
export const MOVIE_GENERATED = path.join(buildFolder(), 'movie-generated');

// The project's version as the build system states it: project(... VERSION x).
export function projectVersion() {
  const cmake = readFileSync(path.join(SOURCE, 'CMakeLists.txt'), 'utf8');
  const found = /project\(\s*\w+\s+VERSION\s+([0-9.]+)/.exec(cmake);
  if (!found) throw new Error('no project(... VERSION) in CMakeLists.txt');
  return found[1];
}

// A request as one script line: line breaks inside it become character
// references, which the native reader turns back into the same characters.
function oneLine(xml) {
  return xml.replace(/\r/g, '&#13;').replace(/\n/g, '&#10;');
}

export class HeadlessNative {
  constructor({ lang = 'en', seed = 4242, extraArgs = [] } = {}) {
    this.root = mkdtempSync(path.join(tmpdir(), 'vornida-page-'));
    this.dirs = {};
    for (const name of ['tmp', 'data', 'config', 'work']) {
      this.dirs[name] = path.join(this.root, name);
      mkdirSync(this.dirs[name]);
    }
    this.lines = []; // everything the console printed
    this.requests = []; // every request of the page, as sent
    this.calls = []; // every call of the native side, as sent
    this.callErrors = []; // calls the page failed
    this.getStrAnswers = []; // { key, answer } as the page answered getStr
    this.pending = [];
    this.page = null;
    this.received = new Map(); // page -> requests received from it
    this.chain = Promise.resolve();
    this.stderr = '';
    const strings = path.join(MOVIE, 'strings', `${lang}.json`);
    this.process = spawn(
      headlessBinary(),
      ['--strings', strings, '--seed', String(seed), '--update-url', 'http://127.0.0.1:9/upgrade/update.xml', ...extraArgs],
      {
        env: { ...process.env, TMPDIR: this.dirs.tmp, XDG_DATA_HOME: this.dirs.data, XDG_CONFIG_HOME: this.dirs.config },
        stdio: ['pipe', 'pipe', 'pipe'],
      },
    );
    this.process.stderr.on('data', (chunk) => (this.stderr += chunk));
    this.exited = new Promise((resolve) => this.process.on('exit', (code) => resolve(code)));
    createInterface({ input: this.process.stdout }).on('line', (line) => this.onLine(line));
  }

  onLine(line) {
    this.lines.push(line);
    if (line.startsWith('answer: ')) {
      // Through the same chain as the calls: the page sees every call the
      // native side made while running a request before that request's answer.
      const resolve = this.pending.shift();
      const answer = line === 'answer: none' ? '' : line.slice('answer: '.length);
      this.chain = this.chain.then(() => resolve?.(answer));
    } else if (line.startsWith('call: ')) {
      const xml = line.slice('call: '.length).replace(/\\n/g, '\n').replace(/\\r/g, '\r');
      this.calls.push(xml);
      this.forward(xml);
    }
  }

  forward(xml) {
    if (!this.page) return;
    const page = this.page;
    this.chain = this.chain.then(async () => {
      try {
        const answer = await page.evaluate((request) => window.vornidaExternal(request), xml);
        const key = /^<invoke name='getStr'><arguments><string>(.*)<\/string><\/arguments><\/invoke>$/.exec(xml);
        if (key) this.getStrAnswers.push({ key: key[1], answer });
      } catch (error) {
        this.callErrors.push({ xml, error: String(error) });
      }
    });
  }

  write(text) {
    this.process.stdin.write(text);
  }

  // What the simulated user answers next: "dialog PATH|PATH", "dialog"
  // (cancel), "msgbox N", "menu N", "wizard cancel".
  prepare(line) {
    this.write(line + '\n');
  }

  // Sends one request and resolves with the answer text ("" for none).
  request(xml) {
    this.requests.push(xml);
    if (/^<invoke name="LoadComplete"/.test(xml)) return Promise.resolve('');
    return new Promise((resolve) => {
      this.pending.push(resolve);
      this.write(`${oneLine(xml)}\nwait\n`);
    });
  }

  // Resolves once everything sent so far has run and the page has taken
  // every call that came of it, including requests the page made in answer:
  // the page's bridge counts the requests it sent and those still waiting
  // for their answer.
  async settle() {
    for (let round = 0; round < 200; ++round) {
      const before = this.requests.length;
      await new Promise((resolve) => {
        this.pending.push(resolve);
        this.write('<invoke name="GetVerText"><arguments></arguments></invoke>\nwait\n');
      });
      await this.chain;
      if (this.page) {
        for (;;) {
          const { sent, waiting } = await this.pageCounts();
          if (waiting === 0 && sent === (this.received.get(this.page) ?? 0)) break;
          await new Promise((resolve) => setTimeout(resolve, 10));
        }
        // What the last answers set off runs before a task queued after them.
        await this.page.evaluate(() => new Promise((r) => setTimeout(r, 0)));
        const { sent } = await this.pageCounts();
        if (sent !== (this.received.get(this.page) ?? 0)) continue;
      }
      await this.chain;
      if (this.requests.length === before && this.pending.length === 0) return;
    }
    throw new Error('the page and the native side did not come to rest');
  }

  pageCounts() {
    return this.page.evaluate(() => ({ sent: window.vornidaTestBridge.sent, waiting: window.vornidaTestBridge.waiting }));
  }

  // The page's requests by command name, decoded just enough for checks:
  // [{ name, xml }].
  requestsNamed(name) {
    return this.requests.filter((xml) => xml.startsWith(`<invoke name="${name}"`));
  }

  linesMatching(pattern) {
    return this.lines.filter((line) => pattern.test(line));
  }

  async stop() {
    this.process.stdin.end();
    const code = await Promise.race([this.exited, new Promise((r) => setTimeout(() => r('timeout'), 20000))]);
    if (code === 'timeout') this.process.kill('SIGKILL');
    rmSync(this.root, { recursive: true, force: true });
    return code;
  }
}

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json; charset=utf-8',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.jpg': 'image/jpeg',
  '.jpeg': 'image/jpeg',
  '.gif': 'image/gif',
  '.bmp': 'image/bmp',
  '.webp': 'image/webp',
};

export const ORIGIN = 'http://vornida.test';

// Serves the movie folder at ORIGIN/movie/ and local pictures at ORIGIN/file/
// (the page's vornida://file/ addresses, through the test bridge's fileBase).
export async function routeMovie(context) {
  await context.route(`${ORIGIN}/**`, async (route) => {
    const url = new URL(route.request().url());
    let file;
    if (url.pathname.startsWith('/movie/')) {
      const relative = decodeURIComponent(url.pathname.slice('/movie/'.length));
      const generated = path.join(MOVIE_GENERATED, relative);
      file = existsSync(generated) ? generated : path.join(MOVIE, relative);
    }
    else if (url.pathname.startsWith('/file/')) file = '/' + decodeURIComponent(url.pathname.slice('/file/'.length));
    else return route.fulfill({ status: 404, body: 'not found' });
    try {
      const body = readFileSync(file);
      const type = TYPES[path.extname(file).toLowerCase()] ?? 'application/octet-stream';
      return route.fulfill({ status: 200, body, headers: { 'content-type': type, 'cache-control': 'no-store' } });
    } catch {
      return route.fulfill({ status: 404, body: 'not found' });
    }
  });
}

// Wires a page to `native` before it loads.
export async function attachNative(page, native) {
  native.page = page;
  await page.exposeBinding('__vornidaNativeRequest', ({ page: from }, xml) => {
    native.received.set(from, (native.received.get(from) ?? 0) + 1);
    return native.request(xml);
  });
  // The bridge counts what it sent, so that a test can tell when every
  // request of the page has arrived.
  await page.addInitScript((origin) => {
    window.vornidaTestBridge = {
      sent: 0,
      waiting: 0,
      postMessage(xml) {
        this.sent += 1;
        this.waiting += 1;
        const answer = window.__vornidaNativeRequest(xml);
        answer.finally(() => (this.waiting -= 1));
        return answer;
      },
      fileBase: `${origin}/file/`,
    };
  }, ORIGIN);
}
