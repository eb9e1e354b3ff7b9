#!/usr/bin/python3
"""Gives a HEIF file an nclx colour profile (a 'colr' box of type 'nclx':
BT.709 primaries, sRGB transfer, BT.601 matrix, full range), which libvips
warns about on loading ("heifload: ignoring nclx profile").

usage: add_nclx_profile.py IN.heic OUT.heic

Debian 12's heif-enc (libheif 1.15) writes no colour box at all, whatever
its nclx options say. The box joins the item properties ('ipco'), the
primary item is associated with it ('ipma'), the enclosing boxes grow, and
the item locations ('iloc') move with the data behind them.
"""
import struct
import sys


def boxes(data, start, end):
    i = start
    while i < end:
        size, kind = struct.unpack('>I4s', data[i:i+8])
        yield i, size, kind.decode('latin1')
        i += size

src, dst = sys.argv[1], sys.argv[2]
data = bytearray(open(src, 'rb').read())
top = list(boxes(data, 0, len(data)))
meta = next(b for b in top if b[2] == 'meta')
mstart, msize, _ = meta
children = list(boxes(data, mstart + 12, mstart + msize))
iprp = next(b for b in children if b[2] == 'iprp')
ipco = next(b for b in boxes(data, iprp[0] + 8, iprp[0] + iprp[1]) if b[2] == 'ipco')
ipma = next(b for b in boxes(data, iprp[0] + 8, iprp[0] + iprp[1]) if b[2] == 'ipma')
pitm = next(b for b in children if b[2] == 'pitm')
primary = struct.unpack('>H', data[pitm[0] + 12:pitm[0] + 14])[0]
nprops = len(list(boxes(data, ipco[0] + 8, ipco[0] + ipco[1])))
colr = struct.pack('>I4s4sHHHB', 19, b'colr', b'nclx', 1, 13, 6, 0x80)
# ipma: rebuild with one more association for the primary item
p = ipma[0] + 8
version = data[p]; flags = int.from_bytes(data[p+1:p+4], 'big'); p += 4
count = struct.unpack('>I', data[p:p+4])[0]; p += 4
out = bytearray(data[ipma[0] + 8:ipma[0] + 16])
for _ in range(count):
    if version < 1:
        item = struct.unpack('>H', data[p:p+2])[0]; out += data[p:p+2]; p += 2
    else:
        item = struct.unpack('>I', data[p:p+4])[0]; out += data[p:p+4]; p += 4
    n = data[p]; p += 1
    width = 2 if flags & 1 else 1
    assoc = data[p:p + n * width]; p += n * width
    if item == primary:
        out.append(n + 1); out += assoc
        out += (struct.pack('>H', nprops + 1) if width == 2 else bytes([nprops + 1]))
    else:
        out.append(n); out += assoc
new_ipma = struct.pack('>I4s', 8 + len(out), b'ipma') + out
delta = len(colr) + len(new_ipma) - ipma[1]
# assemble the new file
before_ipco_end = ipco[0] + ipco[1]
new = bytearray()
new += data[:before_ipco_end] + colr
new += data[before_ipco_end:ipma[0]] + new_ipma + data[ipma[0] + ipma[1]:]
def bump(at, by):
    size = struct.unpack('>I', new[at:at+4])[0]
    new[at:at+4] = struct.pack('>I', size + by)
bump(ipco[0], len(colr)); bump(iprp[0], delta); bump(mstart, delta)
# iloc follows the moved boxes (if after iprp) at shifted position
children = list(boxes(new, mstart + 12, mstart + msize + delta))
iloc = next(b for b in children if b[2] == 'iloc')
p = iloc[0] + 8
v = new[p]; p += 4
offset_size = new[p] >> 4; length_size = new[p] & 15; base_size = new[p+1] >> 4
index_size = (new[p+1] & 15) if v in (1, 2) else 0; p += 2
if v < 2: n = struct.unpack('>H', new[p:p+2])[0]; p += 2
else: n = struct.unpack('>I', new[p:p+4])[0]; p += 4
def rd(at, size): return int.from_bytes(new[at:at+size], 'big') if size else 0
def wr(at, size, value): new[at:at+size] = value.to_bytes(size, 'big')
for _ in range(n):
    p += 2 if v < 2 else 4
    method = 0
    if v in (1, 2): method = new[p+1] & 15; p += 2
    p += 2  # data reference index
    if method == 0 and base_size: wr(p, base_size, rd(p, base_size) + delta)
    base_at = p; p += base_size
    extents = struct.unpack('>H', new[p:p+2])[0]; p += 2
    for _ in range(extents):
        p += index_size
        if method == 0 and not base_size and offset_size: wr(p, offset_size, rd(p, offset_size) + delta)
        p += offset_size + length_size
open(dst, 'wb').write(new)
