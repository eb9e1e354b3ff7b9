// Addresses of local pictures (thumbnails, the preview, chosen pictures): the
// host serves a regular picture file as vornida://file/ + its absolute path,
// percent-encoded. A test bridge may serve them from another base.

export function fileUrl(path, version) {
  const base = globalThis.vornidaTestBridge?.fileBase ?? 'vornida://file/';
  const encoded = String(path)
    .split('/')
    .map((part) => encodeURIComponent(part))
    .join('/')
    .replace(/^\//, '');
  return base + encoded + (version ? `?v=${version}` : '');
}
