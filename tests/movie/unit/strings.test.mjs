// The text tables: every key the native side or the page asks for is there,
// in both languages, with the same printf conversions and placeholders, and
// vornida-headless reads them as its string table.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { describe, test } from 'node:test';

import { MOVIE, SOURCE, headlessBinary } from '../harness/native.mjs';

const tables = Object.fromEntries(['en', 'zh-CN'].map((lang) => [lang, JSON.parse(readFileSync(path.join(MOVIE, 'strings', `${lang}.json`), 'utf8'))]));

function sourceFiles(dir, pattern) {
  return readdirSync(dir, { recursive: true, withFileTypes: true })
    .filter((entry) => entry.isFile() && pattern.test(entry.name))
    .map((entry) => path.join(entry.parentPath ?? entry.path, entry.name));
}

// Keys the native side passes to getStr, taken from its source: literal
// GetText/Text/SetState keys, plus the wizard's page keys that it composes.
function nativeKeys() {
  const keys = new Set(['Msg.Title']);
  for (const dir of ['engine', 'output', 'project', 'photos', 'upgrade', 'commands', 'host']) {
    for (const file of sourceFiles(path.join(SOURCE, 'src', dir), /\.cpp$/)) {
      const text = readFileSync(file, 'utf8');
      for (const m of text.matchAll(/\b(?:GetText|Text|SetState)\((?:collage, )?"([A-Za-z_][A-Za-z0-9_.]*)"\)/g)) keys.add(m[1]);
      // The wizard keeps some of its keys in tables (a key that is only the
      // start of others, with a number added, is none itself).
      for (const m of text.matchAll(/"(UW\.[A-Za-z]+\.[A-Za-z0-9]+)"(?!\s*\+)/g)) keys.add(m[1]);
      // Tables of built-in English texts, {"Key", "text"}: each key is one the
      // native side may ask the movie for. Keys start with a capital letter,
      // unlike lists of words such as file extensions.
      for (const m of text.matchAll(/\{"([A-Z][A-Za-z0-9_.]*)",\s*"/g)) keys.add(m[1]);
    }
  }
  for (const page of [1, 2, 3]) for (const part of ['Title', 'SubTitle']) keys.add(`UW.Page${page}.${part}`);
  return keys;
}

// Keys of the page's own texts, as they stand in its code and markup.
function pageKeys() {
  const keys = new Set();
  const files = [path.join(MOVIE, 'main.html'), path.join(MOVIE, 'splash.html'), ...sourceFiles(path.join(MOVIE, 'js'), /\.js$/)];
  for (const file of files) {
    for (const m of readFileSync(file, 'utf8').matchAll(/["'](ui\.[A-Za-z0-9_.]+[A-Za-z0-9])["']/g)) keys.add(m[1]);
  }
  return keys;
}

const conversions = (text) => (text.match(/%[-+ #0]*\d*(?:\.\d+)?[a-zA-Z%]/g) ?? []).join(' ');
const placeholders = (text) => (text.match(/\{\w+\}/g) ?? []).sort().join(' ');

describe('the text tables', () => {
  test('both languages hold the same keys, every value a non-empty text', () => {
    assert.deepEqual(Object.keys(tables['zh-CN']).sort(), Object.keys(tables.en).sort());
    for (const [lang, table] of Object.entries(tables)) {
      for (const [key, text] of Object.entries(table)) assert.ok(typeof text === 'string' && text.trim() !== '', `${lang} ${key}`);
    }
  });

  test('every key the native side asks for is there', () => {
    const keys = nativeKeys();
    for (const key of ['Loading_Photo', 'Parpare_Layout_Images', 'Big_collage_message', 'App_Project_File', 'UW.Page3.Msg3']) {
      assert.ok(keys.has(key), `the source scan found ${key}`);
    }
    const missing = [...keys].filter((key) => !Object.hasOwn(tables.en, key));
    assert.deepEqual(missing, [], 'keys the native side uses but en.json lacks');
  });

  test('every key the page uses is there', () => {
    const keys = pageKeys();
    assert.ok(keys.size > 100, `found ${keys.size} page keys`);
    assert.deepEqual([...keys].filter((key) => !Object.hasOwn(tables.en, key)), []);
  });

  test('translations keep the printf conversions and the placeholders', () => {
    for (const [key, text] of Object.entries(tables.en)) {
      assert.equal(conversions(tables['zh-CN'][key]), conversions(text), key);
      assert.equal(placeholders(tables['zh-CN'][key]), placeholders(text), key);
    }
    assert.equal(conversions(tables.en['UW.Page2.Msg1']), '%.2f %.2f');
    assert.equal(conversions(tables.en['UW.Page2.Msg2']), '%.2f');
  });

  test('the Chinese table is a translation', () => {
    const same = Object.keys(tables.en).filter((key) => key.startsWith('ui.') && tables.en[key] === tables['zh-CN'][key]);
    assert.ok(same.length <= 3, `left in English: ${same.join(', ')}`);
  });
});

describe('vornida-headless reads the tables', { skip: !existsSync(headlessBinary()) && 'vornida-headless is not built' }, () => {
  for (const [lang, title, filter] of [
    ['en', 'Open project', 'Vornida project (*.vrn)|*.vrn|All files(*.*)|*.*||'],
    ['zh-CN', tables['zh-CN'].Project_Open, `${tables['zh-CN'].App_Project_File}(*.vrn)|*.vrn|${tables['zh-CN'].AllFiles}(*.*)|*.*||`],
  ]) {
    test(`the ${lang} texts reach a native dialog`, () => {
      const root = mkdtempSync(path.join(tmpdir(), 'vornida-strings-'));
      try {
        const out = execFileSync(headlessBinary(), ['--strings', path.join(MOVIE, 'strings', `${lang}.json`)], {
          input: 'dialog\n<invoke name="OpenProject" returntype="xml"><arguments></arguments></invoke>\n',
          env: { ...process.env, TMPDIR: root, XDG_CONFIG_HOME: root, XDG_DATA_HOME: root },
          encoding: 'utf8',
        });
        assert.ok(out.includes(`dialog: open title=${title} folder= filter=${filter}`), out);
      } finally {
        rmSync(root, { recursive: true, force: true });
      }
    });
  }
});
