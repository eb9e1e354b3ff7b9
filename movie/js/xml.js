// XML helpers of the page: escaping, entity decoding, and a small strict
// parser for the documents the page reads itself (project documents and
// collage-parameter texts). The message format of the bridge has its own
// tolerant reader in bridge.js.

const ESCAPES = { '&': '&amp;', '<': '&lt;', '>': '&gt;', "'": '&apos;', '"': '&quot;' };

// Escapes the five XML specials, "&" first, as the native side does.
export function escapeXml(text) {
  return String(text).replace(/[&<>'"]/g, (c) => ESCAPES[c]);
}

const NAMED = { amp: '&', lt: '<', gt: '>', apos: "'", quot: '"' };

// Decodes the standard entities and character references. Anything else
// that starts with "&" (a bare ampersand in "Tom & Jerry.jpg") stays as it is.
export function decodeEntities(text) {
  return text.replace(/&(#x[0-9a-fA-F]{1,6}|#[0-9]{1,7}|amp|lt|gt|apos|quot);/g, (whole, body) => {
    if (body[0] !== '#') return NAMED[body];
    const code = body[1] === 'x' ? parseInt(body.slice(2), 16) : parseInt(body.slice(1), 10);
    if (code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) || code === 0) return whole;
    return String.fromCodePoint(code);
  });
}

const NAME_START = /[A-Za-z_:\u00c0-\uffff]/;
const NAME_CHAR = /[A-Za-z0-9_:.\-\u00b7\u00c0-\uffff]/;

class ParseError extends Error {}

// Parses a whole document: an optional declaration, comments and processing
// instructions, one root element. Gives the root as
//   { name, attrs: [[name, value], ...], children: [element...], text }
// (text: the element's own character data, entities decoded), or null when
// the text is not well-formed.
export function parseXml(text) {
  try {
    const parser = new Parser(String(text));
    parser.misc();
    const root = parser.element();
    parser.misc();
    if (parser.pos !== parser.text.length) throw new ParseError('content after the root element');
    return root;
  } catch (error) {
    if (error instanceof ParseError) return null;
    throw error;
  }
}

// True when `text` is a sequence of well-formed elements and character data
// that holds at least one element (markup rather than plain text).
export function isMarkup(text) {
  if (!text.includes('<')) return false;
  try {
    const parser = new Parser(text);
    let elements = 0;
    while (parser.pos < parser.text.length) {
      if (parser.peek('<!--') || parser.peek('<?')) parser.misc();
      else if (parser.peek('<')) {
        parser.element();
        ++elements;
      } else parser.charData();
    }
    return elements > 0;
  } catch (error) {
    if (error instanceof ParseError) return false;
    throw error;
  }
}

class Parser {
  constructor(text) {
    this.text = text;
    this.pos = 0;
  }

  peek(s) {
    return this.text.startsWith(s, this.pos);
  }

  expect(s) {
    if (!this.peek(s)) throw new ParseError(`expected ${s} at ${this.pos}`);
    this.pos += s.length;
  }

  blanks() {
    const start = this.pos;
    while (this.pos < this.text.length && ' \t\r\n'.includes(this.text[this.pos])) ++this.pos;
    return this.pos > start;
  }

  skipPast(end) {
    const at = this.text.indexOf(end, this.pos);
    if (at < 0) throw new ParseError(`unterminated, expected ${end}`);
    this.pos = at + end.length;
  }

  // Blanks, comments, processing instructions and a doctype between elements.
  misc() {
    for (;;) {
      this.blanks();
      if (this.peek('<?')) this.skipPast('?>');
      else if (this.peek('<!--')) this.skipPast('-->');
      else if (this.peek('<!DOCTYPE')) this.skipPast('>');
      else return;
    }
  }

  name() {
    const start = this.pos;
    if (!NAME_START.test(this.text[this.pos] ?? '')) throw new ParseError(`expected a name at ${this.pos}`);
    ++this.pos;
    while (this.pos < this.text.length && NAME_CHAR.test(this.text[this.pos])) ++this.pos;
    return this.text.slice(start, this.pos);
  }

  charData() {
    const lt = this.text.indexOf('<', this.pos);
    const end = lt < 0 ? this.text.length : lt;
    const raw = this.text.slice(this.pos, end);
    if (/&(?!(#x[0-9a-fA-F]+|#[0-9]+|amp|lt|gt|apos|quot);)/.test(raw)) throw new ParseError('bare & in text');
    this.pos = end;
    return decodeEntities(raw);
  }

  element() {
    this.expect('<');
    const name = this.name();
    const attrs = [];
    for (;;) {
      const spaced = this.blanks();
      if (this.peek('/>')) {
        this.pos += 2;
        return { name, attrs, children: [], text: '' };
      }
      if (this.peek('>')) {
        ++this.pos;
        break;
      }
      if (!spaced) throw new ParseError(`expected a blank before an attribute at ${this.pos}`);
      const attrName = this.name();
      this.blanks();
      this.expect('=');
      this.blanks();
      const quote = this.text[this.pos];
      if (quote !== '"' && quote !== "'") throw new ParseError(`expected a quote at ${this.pos}`);
      const end = this.text.indexOf(quote, this.pos + 1);
      if (end < 0) throw new ParseError('unterminated attribute');
      const raw = this.text.slice(this.pos + 1, end);
      if (raw.includes('<') || /&(?!(#x[0-9a-fA-F]+|#[0-9]+|amp|lt|gt|apos|quot);)/.test(raw))
        throw new ParseError('bad character in an attribute value');
      if (attrs.some(([n]) => n === attrName)) throw new ParseError(`attribute ${attrName} twice`);
      attrs.push([attrName, decodeEntities(raw)]);
      this.pos = end + 1;
    }
    const children = [];
    let text = '';
    for (;;) {
      if (this.pos >= this.text.length) throw new ParseError(`unclosed element ${name}`);
      if (this.peek('</')) {
        this.pos += 2;
        const closing = this.name();
        if (closing !== name) throw new ParseError(`</${closing}> closes <${name}>`);
        this.blanks();
        this.expect('>');
        return { name, attrs, children, text };
      }
      if (this.peek('<!--')) this.skipPast('-->');
      else if (this.peek('<![CDATA[')) {
        const end = this.text.indexOf(']]>', this.pos);
        if (end < 0) throw new ParseError('unterminated CDATA');
        text += this.text.slice(this.pos + 9, end);
        this.pos = end + 3;
      } else if (this.peek('<?')) this.skipPast('?>');
      else if (this.peek('<')) children.push(this.element());
      else text += this.charData();
    }
  }
}

// The value of an attribute whose name matches without regard to ASCII case
// (as the native side matches names); undefined when absent.
export function attr(element, name) {
  const wanted = name.toLowerCase();
  const found = element.attrs.find(([n]) => n.toLowerCase() === wanted);
  return found ? found[1] : undefined;
}

// The first child element with that name (ASCII case ignored).
export function child(element, name) {
  const wanted = name.toLowerCase();
  return element.children.find((c) => c.name.toLowerCase() === wanted);
}

export function children(element, name) {
  const wanted = name.toLowerCase();
  return element.children.filter((c) => c.name.toLowerCase() === wanted);
}
