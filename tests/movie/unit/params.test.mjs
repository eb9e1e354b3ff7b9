// The collage-parameter text made from the settings, the settings read back
// from one, and the checks the controls apply.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { DEFAULTS, FIELDS, checkValue, composeParams, parseColor, saneValue, seedText, settingsFromParams } from '../../../movie/js/params.js';
import { readFileSync } from 'node:fs';
import { attr, parseXml } from '../../../movie/js/xml.js';

const attrsOf = (text) => Object.fromEntries(parseXml(text).attrs);
const readBack = (text) => {
  const element = parseXml(text);
  return settingsFromParams((name) => attr(element, name));
};

describe('the parameter text', () => {
  test('the defaults: every attribute the engine reads, in its order, and the new ones', () => {
    const element = parseXml(composeParams(DEFAULTS));
    assert.equal(element.name, 'Vornida');
    assert.deepEqual(element.attrs.map(([n]) => n), [
      'shapeType', 'shape', 'collageSize', 'aspectRatio', 'itemBoundingBoxWidth', 'numPhotos', 'spacing', 'borderSize',
      'samePhotoSize', 'avgAngle', 'maxAngle', 'backgroundTransparent', 'backgroundColor', 'backgroundType',
      'backgroundFile', 'offsetX', 'offsetY', 'noShadow', 'borderColor', 'jpegQuality',
    ]);
    assert.deepEqual(attrsOf(composeParams(DEFAULTS)), {
      shapeType: 'Rectangle', shape: '', collageSize: '1600,1200', aspectRatio: '0', itemBoundingBoxWidth: '-1',
      numPhotos: '-1', spacing: '1', borderSize: '0.03', samePhotoSize: 'true', avgAngle: '0', maxAngle: '15',
      backgroundTransparent: 'false', backgroundColor: '#ffffff', backgroundType: 'Color', backgroundFile: '',
      offsetX: '0.01', offsetY: '0.01', noShadow: 'false', borderColor: '#f2f2f2', jpegQuality: '90',
    });
  });

  test('item choices: as many as fit, exactly N, a size in pixels', () => {
    assert.equal(attrsOf(composeParams({ ...DEFAULTS, itemsMode: 'fill' })).numPhotos, '-2');
    assert.equal(attrsOf(composeParams({ ...DEFAULTS, itemsMode: 'count', itemCount: 250 })).numPhotos, '250');
    assert.equal(attrsOf(composeParams({ ...DEFAULTS, itemSizeMode: 'px', itemSize: 120 })).itemBoundingBoxWidth, '120');
  });

  test('an aspect ratio asks for an automatic canvas and gives the items a size', () => {
    const a = attrsOf(composeParams({ ...DEFAULTS, canvasMode: 'aspect', aspectRatio: 16 / 9 }));
    assert.equal(a.collageSize, '0,0');
    assert.equal(a.aspectRatio, '1.777778');
    assert.equal(a.itemBoundingBoxWidth, '300');
    assert.equal(attrsOf(composeParams({ ...DEFAULTS, canvasMode: 'aspect', itemSizeMode: 'px', itemSize: 90 })).itemBoundingBoxWidth, '90');
  });

  test('shapes: a picture carries its path, a text its picture, text and font', () => {
    const image = attrsOf(composeParams({ ...DEFAULTS, shapeType: 'Image', shapeImage: "/home/me/it's & <that>.png" }));
    assert.equal(image.shape, "/home/me/it's & <that>.png");
    assert.equal(image.shapeText, undefined);
    const text = attrsOf(composeParams({ ...DEFAULTS, shapeType: 'Text', shapeText: 'Ünïcödé & "quotes"', shapeFont: 'Serif' }, { shapePath: '/tmp/v/TextShape.png' }));
    assert.equal(text.shape, '/tmp/v/TextShape.png');
    assert.equal(text.shapeText, 'Ünïcödé & "quotes"');
    assert.equal(text.shapeFont, 'Serif');
    assert.equal(attrsOf(composeParams({ ...DEFAULTS, shapeType: 'Circle', shapeImage: '/x.png' })).shape, '');
  });

  test('backgrounds: transparent, a picture, and the shadow switch', () => {
    const clear = attrsOf(composeParams({ ...DEFAULTS, backgroundType: 'Transparent', backgroundFile: '/b.png' }));
    assert.equal(clear.backgroundTransparent, 'true');
    assert.equal(clear.backgroundType, 'Color');
    assert.equal(clear.backgroundFile, '');
    const picture = attrsOf(composeParams({ ...DEFAULTS, backgroundType: 'Image', backgroundFile: '/b & c.png', shadow: false }));
    assert.equal(picture.backgroundType, 'Image');
    assert.equal(picture.backgroundFile, '/b & c.png');
    assert.equal(picture.noShadow, 'true');
  });

  test('every setting survives the trip through the text', () => {
    const variants = [
      DEFAULTS,
      { ...DEFAULTS, shapeType: 'Circle', canvasWidth: 4961, canvasHeight: 3508, itemsMode: 'fill', itemSizeMode: 'px', itemSize: 140,
        samePhotoSize: false, spacing: 0.85, borderSize: 0.005, borderColor: '#102030', avgAngle: -30, maxAngle: 0, shadow: false,
        shadowOffsetX: -0.02, shadowOffsetY: 0.035, backgroundType: 'Transparent', jpegQuality: 1 },
      { ...DEFAULTS, shapeType: 'Text', shapeText: 'LOVE', shapeFont: 'Monospace', canvasMode: 'aspect', aspectRatio: 0.5625, itemSizeMode: 'px', itemSize: 260,
        itemsMode: 'count', itemCount: 5000, backgroundType: 'Image', backgroundFile: "/a/b's.jpg", backgroundColor: '#abcdef' },
      { ...DEFAULTS, shapeType: 'Image', shapeImage: '/shapes/heart.png', jpegQuality: 100 },
    ];
    for (const settings of variants) assert.deepEqual(readBack(composeParams(settings, { shapePath: '/t.png' })), settings);
    // An automatic item size with an aspect ratio is the size it stands for.
    const auto = readBack(composeParams({ ...DEFAULTS, canvasMode: 'aspect' }));
    assert.equal(auto.itemSizeMode, 'px');
    assert.equal(auto.itemSize, 300);
  });
});

describe('reading a parameter text from outside', () => {
  test('what is missing keeps its default; what is out of range comes into it', () => {
    const s = readBack("<Vornida collageSize='190000,50' numPhotos='2000000' spacing='0' maxAngle='400' borderSize='abc' jpegQuality='0'/>");
    assert.equal(s.canvasWidth, 100000);
    assert.equal(s.canvasHeight, 50);
    assert.equal(s.itemsMode, 'count');
    assert.equal(s.itemCount, 1000000);
    assert.equal(s.spacing, 0.1);
    assert.equal(s.maxAngle, 180);
    assert.equal(s.borderSize, DEFAULTS.borderSize);
    assert.equal(s.jpegQuality, 1);
    assert.equal(s.shapeType, 'Rectangle');
  });

  test('booleans are true only for true, TRUE and 1; transparency wins over a colour', () => {
    assert.equal(readBack("<Vornida samePhotoSize='True'/>").samePhotoSize, false);
    assert.equal(readBack("<Vornida samePhotoSize='1'/>").samePhotoSize, true);
    assert.equal(readBack("<Vornida noShadow='TRUE'/>").shadow, false);
    const s = readBack("<Vornida backgroundTransparent='1' backgroundColor='#00ff00'/>");
    assert.equal(s.backgroundType, 'Transparent');
  });

  test('an unknown shape name keeps the default shape', () => {
    assert.equal(readBack("<Vornida shapeType='circle'/>").shapeType, 'Rectangle');
  });
});

describe('colours and field checks', () => {
  test('the colour forms the native side reads', () => {
    assert.equal(parseColor('0x00FF00'), '#00ff00');
    assert.equal(parseColor('#00ff00'), '#00ff00');
    assert.equal(parseColor('#00FF00CC'), '#00ff00');
    assert.equal(parseColor('65280'), '#00ff00');
    assert.equal(parseColor('ff0000'), null);
    assert.equal(parseColor('#fff'), null);
    assert.equal(parseColor('red'), null);
  });

  test('numbers are refused outside their range or when they are not numbers', () => {
    assert.deepEqual(checkValue('canvasWidth', '1200'), { ok: true, value: 1200 });
    assert.equal(checkValue('canvasWidth', '0').reason, 'range');
    assert.equal(checkValue('canvasWidth', '100001').reason, 'range');
    assert.equal(checkValue('canvasWidth', '12.5').reason, 'number');
    assert.equal(checkValue('canvasWidth', '1e3').reason, 'number');
    assert.equal(checkValue('canvasWidth', '').reason, 'number');
    assert.deepEqual(checkValue('spacing', '.5'), { ok: true, value: 0.5 });
    assert.equal(checkValue('jpegQuality', '101').reason, 'range');
    assert.equal(checkValue('shapeText', 'two\nlines').ok, false);
    assert.equal(checkValue('shapeText', 'x'.repeat(41)).ok, false);
  });

  test('values from outside are clamped, unreadable ones dropped', () => {
    assert.equal(saneValue('itemSize', '-5'), 1);
    assert.equal(saneValue('spacing', '99'), 10);
    assert.equal(saneValue('spacing', 'wide'), undefined);
    assert.equal(saneValue('shapeFont', 'Comic'), undefined);
  });
});

describe('the ranges of the controls', () => {
  // The engine refuses a value outside its range with a message; the page
  // must take exactly what the engine takes, no more (a refusal after the
  // click) and no less (a value a project or the command line may use).
  test('are the engine\'s own ranges (src/engine/param_ranges.cpp)', () => {
    const source = readFileSync(new URL('../../../src/engine/param_ranges.cpp', import.meta.url), 'utf8');
    const engine = {};
    for (const [, name, low, high] of source.matchAll(/\{"(\w+)", (-?[\d.]+), (-?[\d.]+), (?:true|false)/g)) {
      engine[name] = { min: Number(low), max: Number(high) };
    }
    const pairs = {
      canvasWidth: 'collageSize', canvasHeight: 'collageSize', aspectRatio: 'aspectRatio', itemSize: 'itemBoundingBoxWidth',
      itemCount: 'numPhotos', spacing: 'spacing', borderSize: 'borderSize', avgAngle: 'avgAngle', maxAngle: 'maxAngle',
      shadowOffsetX: 'offsetX', shadowOffsetY: 'offsetY', jpegQuality: 'jpegQuality',
    };
    assert.equal(Object.keys(engine).length, 11, 'the engine\'s table was not read');
    for (const [field, name] of Object.entries(pairs)) {
      assert.deepEqual({ min: FIELDS[field].min, max: FIELDS[field].max }, engine[name], field);
    }
    // Every number the page offers is one of them.
    const numeric = Object.entries(FIELDS).filter(([, f]) => f.kind === 'int' || f.kind === 'real').map(([n]) => n);
    assert.deepEqual(numeric.sort(), Object.keys(pairs).sort());
  });
});

describe('a layout\'s seed', () => {
  test('travels only as a whole number that fits 32 bits, after the other attributes', () => {
    assert.equal(attrsOf(composeParams(DEFAULTS)).seed, undefined);
    const names = parseXml(composeParams(DEFAULTS, { seed: '1022226848' })).attrs.map(([n]) => n);
    assert.equal(names.at(-1), 'seed');
    assert.equal(attrsOf(composeParams(DEFAULTS, { seed: 7 })).seed, '7');
    assert.equal(attrsOf(composeParams(DEFAULTS, { seed: '4294967295' })).seed, '4294967295');
    for (const bad of ['4294967296', '-1', '1e3', '12a', '', null, undefined]) {
      assert.equal(attrsOf(composeParams(DEFAULTS, { seed: bad })).seed, undefined, String(bad));
      assert.equal(seedText(bad), null, String(bad));
    }
  });
});
