// The photo description that arrives with openAddPhotosDlgCallBack, once the
// bridge has decoded it:
//
//   <photo name='NAME' src='SRC' thumb='THUMB'/>
//
// The native side inserts the three values raw, so a name or path may hold
// "'", "&" or "<" itself. The values are therefore found by their fixed order
// and markers, not with an XML parser: THUMB runs from the last " thumb='" to
// the closing "'/>", and of the possible " src='" markers the one is taken
// after which SRC ends with NAME (SRC is the photo's full path, NAME its file
// name).

const HEAD = "<photo name='";
const SRC = "' src='";
const THUMB = "' thumb='";
const TAIL = "'/>";

// { name, src, thumb } or null when the text is not a photo description.
export function parsePhotoText(text) {
  const body = String(text).trim();
  if (!body.startsWith(HEAD) || !body.endsWith(TAIL)) return null;
  const inner = body.slice(HEAD.length, body.length - TAIL.length);
  const thumbAt = inner.lastIndexOf(THUMB);
  if (thumbAt < 0) return null;
  const thumb = inner.slice(thumbAt + THUMB.length);
  const nameAndSrc = inner.slice(0, thumbAt);

  let fallback = null;
  for (let at = nameAndSrc.indexOf(SRC); at >= 0; at = nameAndSrc.indexOf(SRC, at + 1)) {
    const name = nameAndSrc.slice(0, at);
    const src = nameAndSrc.slice(at + SRC.length);
    if (src === name || src.endsWith('/' + name)) return { name, src, thumb };
    fallback ??= { name, src, thumb };
  }
  return fallback;
}

// A photo's identity is its path, compared without regard to letter case.
export function samePath(a, b) {
  return a.toLowerCase() === b.toLowerCase();
}
