"""Makes a collage with Debian's photocollage the way a user's script would:
the photo list, the page of columns the program's own window builds, scaled to
the output width, and its rendering task writing the file.

    /usr/bin/python3 peer_collage.py WIDTH HEIGHT OUTPUT PHOTO...
"""
import math
import random
import sys

from photocollage import collage, render


def main():
    out_w, out_h = int(sys.argv[1]), int(sys.argv[2])
    output = sys.argv[3]
    photos = render.build_photolist(sys.argv[4:])
    random.seed(1)

    # As the program's window lays out a new collage: the number of columns
    # from the photos' mean aspect, every photo added, the holes closed.
    ratio = 1.0 * out_h / out_w
    avg_ratio = sum(1.0 * p.h / p.w for p in photos) / len(photos)
    no_cols = int(round(math.sqrt(avg_ratio / ratio * 2 * len(photos))))
    page = collage.Page(1.0, ratio, no_cols)
    random.shuffle(photos)
    for photo in photos:
        page.add_cell(photo)
    page.adjust()

    # As its save button does: the page enlarged to the output width, and the
    # rendering task (default quality, the window's border settings).
    page.target_ratio = ratio
    page.adjust_cols_heights()
    page.scale(float(out_w) / page.w)
    task = render.RenderingTask(page, output_file=output, border_width=0.01 * max(page.w, page.h),
                                border_color="black")
    failed = []
    task.on_fail = failed.append
    task.start()
    task.join()
    if failed:
        print("photocollage failed:", failed[0], file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
