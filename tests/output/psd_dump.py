"""Reads a layered document with psd-tools and describes it for the C++ tests.

Usage: psd_dump.py FILE [DUMP_FOLDER]

Prints one line per fact, fields separated by tabs:
  document <version> <width> <height> <layer count>
  merged <R> <G> <B> <min over all channels> <max over all channels>
  layer <index> <name> <left> <top> <right> <bottom> <opacity> <blend key> <visible>
With DUMP_FOLDER, every non-empty layer's pixels are written there as
layer<index>.rgba: width x height straight RGBA bytes, rows top to bottom,
and the merged image as merged.rgb (RGB bytes).
"""
import sys

import numpy
from psd_tools import PSDImage


def main():
    psd = PSDImage.open(sys.argv[1])
    dump = sys.argv[2] if len(sys.argv) > 2 else None
    print('document\t%d\t%d\t%d\t%d' % (psd.version, psd.width, psd.height, len(psd)))
    merged = numpy.asarray(psd.topil().convert('RGB'))
    print('merged\t%d\t%d\t%d\t%d\t%d' % (merged[0, 0, 0], merged[0, 0, 1], merged[0, 0, 2],
                                          merged.min(), merged.max()))
    if dump:
        with open('%s/merged.rgb' % dump, 'wb') as out:
            out.write(merged.tobytes())
    for index, layer in enumerate(psd):
        record = layer._record
        # psd-tools turns each UTF-16 unit of a Unicode name into a character
        # of its own: a pair of surrogates is joined back into one here.
        name = layer.name.encode('utf-16-le', 'surrogatepass').decode('utf-16-le')
        print('layer\t%d\t%s\t%d\t%d\t%d\t%d\t%d\t%s\t%d' % (
            index, name, record.left, record.top, record.right, record.bottom,
            layer.opacity, record.blend_mode.value.decode('ascii'), layer.visible))
        if dump and record.right > record.left and record.bottom > record.top:
            image = layer.topil()
            if image.mode != 'RGBA':
                image = image.convert('RGBA')
            with open('%s/layer%d.rgba' % (dump, index), 'wb') as out:
                out.write(image.tobytes())


if __name__ == '__main__':
    main()
