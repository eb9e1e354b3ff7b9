// The page's end of the message format: what it sends, and how it reads what
// the native side sends, including the texts the native side does not escape.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';

import { addCallback, decodeAnswer, decodeInvoke, encodeInvoke, encodeReturn, handleExternal } from '../../../movie/js/bridge.js';

const invoke = (name, values) => `<invoke name='${name}'><arguments>${values}</arguments></invoke>`;

describe('requests the page sends', () => {
  test('strings are escaped, other values take their own elements', () => {
    assert.equal(
      encodeInvoke('MakeShape', [`<Vornida shape='a&b'/>`, 12, 0.5, true, false, null, undefined]),
      '<invoke name="MakeShape" returntype="xml"><arguments>' +
        '<string>&lt;Vornida shape=&apos;a&amp;b&apos;/&gt;</string><number>12</number><number>0.5</number>' +
        '<true/><false/><null/><undefined/></arguments></invoke>',
    );
  });

  test('no arguments give an empty arguments element', () => {
    assert.equal(encodeInvoke('OpenAddPhotosDlg'), '<invoke name="OpenAddPhotosDlg" returntype="xml"><arguments></arguments></invoke>');
  });

  test('arrays and objects become property lists that read back flattened', () => {
    const text = encodeInvoke('x', [['a', 1], { k: 'v' }]);
    assert.match(text, /<array><property id="0"><string>a<\/string><\/property><property id="1"><number>1<\/number><\/property><\/array>/);
    assert.deepEqual(decodeInvoke(text).args, ['a', 1, { k: 'v' }]);
  });

  test('numbers that are not finite travel as null', () => {
    assert.match(encodeInvoke('x', [NaN, Infinity]), /<arguments><null\/><null\/><\/arguments>/);
  });
});

describe('requests of the native side', () => {
  test('the value forms of the format', () => {
    assert.deepEqual(decodeInvoke(invoke('f', '<true/><false/><number>7</number><number>-2.5</number><null/><string>x</string>')), {
      name: 'f',
      args: [true, false, 7, -2.5, null, 'x'],
    });
  });

  test('an array of two strings followed by a string gives three arguments', () => {
    const text = invoke('f', '<array><property id="0"><string>a</string></property><property id="1"><string>b</string></property></array><string>c</string>');
    assert.deepEqual(decodeInvoke(text).args, ['a', 'b', 'c']);
  });

  test('empty arguments, self-closing or not, and empty values', () => {
    assert.deepEqual(decodeInvoke("<invoke name='f'><arguments/></invoke>").args, []);
    assert.deepEqual(decodeInvoke(invoke('f', '')).args, []);
    assert.deepEqual(decodeInvoke(invoke('f', '<string></string><string/>')).args, ['', '']);
  });

  test('entities in a plain text are decoded, a bare & or < stays as it is', () => {
    assert.deepEqual(decodeInvoke(invoke('setStateText', '<string>a &amp; b &#x263A; &#65;</string>')).args, ['a & b \u263a A']);
    assert.deepEqual(decodeInvoke(invoke('setStateText', '<string>Loading photo: Tom & Jerry <1>.jpg</string>')).args, [
      'Loading photo: Tom & Jerry <1>.jpg',
    ]);
  });

  test('a string holding markup gives the markup itself, entities and all', () => {
    const project = "<VornidaProject><Photos><Photo src='/p/Tom &amp; Jerry.jpg'/></Photos></VornidaProject>";
    assert.deepEqual(decodeInvoke(invoke('openProjectCallBack', `<string>${project}</string>`)).args, [project]);
  });

  test('a text holding "</string>" ends where the rest of the message still reads', () => {
    const text = invoke('notify', '<string>a</string>b</string><string>1</string>');
    assert.deepEqual(decodeInvoke(text).args, ['a</string>b', '1']);
    const markup = '<doc><string>inner</string></doc>';
    assert.deepEqual(decodeInvoke(invoke('openProjectCallBack', `<string>${markup}</string>`)).args, [markup]);
  });

  test('double-quoted names as well as the native single quotes', () => {
    assert.equal(decodeInvoke('<invoke name="getStr" returntype="xml"><arguments><string>Done</string></arguments></invoke>').name, 'getStr');
  });

  test('texts that are not invoke messages do not read', () => {
    for (const text of ['', 'hello', '<call name="x"><arguments></arguments></call>', "<invoke name='x'></invoke>",
      "<invoke name='x'><arguments><string>open</arguments></invoke>", "<invoke name='x'><arguments><bogus/></arguments></invoke>"]) {
      assert.equal(decodeInvoke(text), null, text);
    }
  });
});

describe('answers of the native side', () => {
  test('one value gives it; nothing, or more than one, gives no answer', () => {
    assert.equal(decodeAnswer('<string>a & b</string>'), 'a & b');
    assert.equal(decodeAnswer('<number>6</number>'), 6);
    assert.equal(decodeAnswer('<true/>'), true);
    assert.equal(decodeAnswer('<false/>'), false);
    assert.equal(decodeAnswer('<string></string>'), '');
    assert.equal(decodeAnswer(''), undefined);
    assert.equal(decodeAnswer('<string>a</string><string>b</string>'), undefined);
    assert.equal(decodeAnswer('garbage'), undefined);
  });

  test('a path with markup characters comes back whole', () => {
    assert.equal(decodeAnswer('<string>/tmp/a <b> & c/TextShape.png</string>'), '/tmp/a <b> & c/TextShape.png');
  });
});

describe('functions the native side calls', () => {
  test('arguments arrive decoded and the result goes back encoded', () => {
    const seen = [];
    addCallback('testEcho', (...args) => {
      seen.push(args);
      return args[0];
    });
    assert.equal(handleExternal(invoke('testEcho', '<string>x &amp; &lt;y&gt;</string><number>3</number>')), '<string>x &amp; &lt;y&gt;</string>');
    assert.deepEqual(seen, [['x & <y>', 3]]);
  });

  test('results of each type, and none', () => {
    const results = [[1, '<number>1</number>'], [true, '<true/>'], [false, '<false/>'], [null, '<null/>'], [undefined, '']];
    for (const [value, text] of results) assert.equal(encodeReturn(value), text);
  });

  test('an unknown function or a text that does not read fails the call', () => {
    assert.throws(() => handleExternal(invoke('noSuchFunction', '')), /no function noSuchFunction/);
    assert.throws(() => handleExternal('not xml'), /not an invoke message/);
  });
});
