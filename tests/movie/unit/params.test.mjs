// The collage-parameter text made from the settings, the settings read back
// from one, and the checks the controls apply.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { DEFAULTS, checkValue, composeParams, parseColor, saneValue, settingsFromParams } from '../../../movie/js/params.js';
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
    const s = readBack("<Vornida collageSize='90000,50' numPhotos='1000000' spacing='0' maxAngle='400' borderSize='abc' jpegQuality='0'/>");
    assert.equal(s.canvasWidth, 30000);
    assert.equal(s.canvasHeight, 50);
    assert.equal(s.itemsMode, 'count');
    assert.equal(s.itemCount, 5000);
    assert.equal(s.spacing, 0.3);
    assert.equal(s.maxAngle, 90);
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
    assert.equal(checkValue('canvasWidth', '30001').reason, 'range');
    assert.equal(checkValue('canvasWidth', '12.5').reason, 'number');
    assert.equal(checkValue('canvasWidth', '1e3').reason, 'number');
    assert.equal(checkValue('canvasWidth', '').reason, 'number');
    assert.deepEqual(checkValue('spacing', '.5'), { ok: true, value: 0.5 });
    assert.equal(checkValue('jpegQuality', '101').reason, 'range');
    assert.equal(checkValue('shapeText', 'two\nlines').ok, false);
    assert.equal(checkValue('shapeText', 'x'.repeat(41)).ok, false);
  });

  test('values from outside are clamped, unreadable ones dropped', () => {
    assert.equal(saneValue('itemSize', '-5'), 8);
    assert.equal(saneValue('spacing', '99'), 3);
    assert.equal(saneValue('spacing', 'wide'), undefined);
    assert.equal(saneValue('shapeFont', 'Comic'), undefined);
  });
});
