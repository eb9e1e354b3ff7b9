// The project document the page writes and reads back.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { DEFAULTS } from '../../../movie/js/params.js';
import { parsePhotoText } from '../../../movie/js/photo-text.js';
import { composeProject, readProject } from '../../../movie/js/project.js';

describe('project documents', () => {
  test('settings and photos survive a save and an open, whatever the paths hold', () => {
    const settings = { ...DEFAULTS, shapeType: 'Text', shapeText: 'Sommer & Sonne', shapeFont: 'Serif', maxAngle: 40 };
    const photos = ["/home/me/Tom & Jerry's <best>.jpg", '/home/me/夏天/海.png', '/a"b.jpg'];
    const read = readProject(composeProject(settings, photos, { shapePath: '/tmp/TextShape.png' }));
    assert.equal(read.ok, true);
    assert.deepEqual(read.settings, settings);
    assert.deepEqual(read.photos, photos);
  });

  test('the shown layout\'s seed comes back; a document without one, or with a bad one, has none', () => {
    assert.equal(readProject(composeProject(DEFAULTS, ['/p/a.jpg'], { seed: '3141592653' })).seed, '3141592653');
    assert.equal(readProject(composeProject(DEFAULTS, ['/p/a.jpg'])).seed, null);
    assert.equal(readProject("<VornidaProject><Settings><Vornida seed='-4'/></Settings></VornidaProject>").seed, null);
    assert.equal(readProject("<VornidaProject><Settings><Vornida SEED='12'/></Settings></VornidaProject>").seed, '12');
  });

  test('the document has the documented form', () => {
    const text = composeProject(DEFAULTS, ['/p/a.jpg']);
    assert.match(text, /^<VornidaProject version='1'>\n  <Settings>\n    <Vornida shapeType='Rectangle' /);
    assert.match(text, /\n  <Photos>\n    <Photo src='\/p\/a.jpg'\/>\n  <\/Photos>\n<\/VornidaProject>\n$/);
    assert.match(composeProject(DEFAULTS, []), /<Photos\/>/);
  });

  test('names in any case, any root, unknown parts ignored, empty sources skipped', () => {
    const read = readProject(`<?xml version="1.0"?><!-- kept by hand --><proj>
      <extra a="1"/><settings><vornida SHAPETYPE='Circle' maxangle='5'/></settings>
      <photos><photo src='/a.jpg'/><photo src=''/><Photo/><PHOTO src='/b.jpg'/></photos>
      <Photo src='/outside.jpg'/></proj>`);
    assert.equal(read.ok, true);
    assert.equal(read.settings.shapeType, 'Circle');
    assert.equal(read.settings.maxAngle, 5);
    assert.deepEqual(read.photos, ['/a.jpg', '/b.jpg']);
  });

  test('a document without settings keeps the defaults', () => {
    const read = readProject('<VornidaProject><Photos><Photo src="/a.jpg"/></Photos></VornidaProject>');
    assert.deepEqual(read.settings, { ...DEFAULTS });
    assert.equal(read.hasSettings, false);
  });

  test('texts that are not XML do not read', () => {
    for (const text of ['', '   ', 'just text', '<VornidaProject>', '<a><b></a></b>', "<a x='1' x='2'/>", '<a>&bogus;</a>', '<a/><b/>']) {
      assert.equal(readProject(text).ok, false, text);
    }
  });
});

describe('the photo description of an import', () => {
  test('the three values, read by their markers', () => {
    assert.deepEqual(parsePhotoText("<photo name='dune.jpg' src='/p/dune.jpg' thumb='/t/1000.png'/>"), {
      name: 'dune.jpg', src: '/p/dune.jpg', thumb: '/t/1000.png',
    });
  });

  test("names and paths holding quotes, & and < or the markers themselves", () => {
    const name = "it's ' src='x & <y>.jpg";
    const src = `/home/a' thumb='b/${name}`;
    assert.deepEqual(parsePhotoText(`<photo name='${name}' src='${src}' thumb='/tmp/v/1001.png'/>`), { name, src, thumb: '/tmp/v/1001.png' });
  });

  test('anything else is no photo', () => {
    assert.equal(parsePhotoText(''), null);
    assert.equal(parsePhotoText("<photo name='a' src='b'/>"), null);
    assert.equal(parsePhotoText("&lt;photo name=&apos;a&apos;/&gt;"), null);
  });
});
