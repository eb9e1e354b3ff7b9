#!/usr/bin/python3
"""Layout history through the real vornida-headless: new layouts, undo, redo,
the files "SaveShape" writes for each, and a project opened again with the
seed of its layout.

usage: layout_history.py BINARY

Session 1 (fixed seed 5): three layouts ("MakeShape", then "NewLayout"
twice), each saved; undo twice and save; redo and save, also as a layered
file; a new layout after an undo drops the redo side. The saved files of a
layout made again must be pixel-identical with those of the first time.
Session 2 (another fixed seed, so that only the project's seed can give the
same arrangement): open a project that keeps the photos in their list order
and the second layout's seed, make the collage as the movie does with
the project's settings, and save: the file equals the second layout's.
The photos carry names in several scripts; the layered file's layers are
read back with psd-tools.
"""
import html
import os
import re
import shutil
import subprocess
import sys
import tempfile

import numpy
from PIL import Image, ImageDraw
from psd_tools import PSDImage

PHOTOS = ["été ☀ plage.jpg", "海边 写真.jpg", "Ægir & Rán.jpg", "d'or.jpg", "p4.jpg", "p5.jpg"]
PARAMS = ("<Vornida shapeType='Rectangle' collageSize='600,400' itemBoundingBoxWidth='-1' numPhotos='12' "
          "spacing='1' borderSize='0.03' maxAngle='25' offsetX='0.01' offsetY='0.01' borderColor='#f2f2f2' "
          "backgroundTransparent='false' backgroundColor='#ffffff'/>")

failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)
    return condition


def escape(text):
    return (text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("'", "&apos;")
            .replace('"', "&quot;"))


def invoke(name, *args):
    values = "".join("<number>%s</number>" % a if isinstance(a, int) else "<string>%s</string>" % escape(a)
                     for a in args)
    return '<invoke name="%s" returntype="xml"><arguments>%s</arguments></invoke>' % (name, values)


def save(path, params=PARAMS, psd=False):
    return ["dialog " + path, invoke("SaveShape", params, 1 if psd else 0), "wait"]


def play(binary, root, seed, lines):
    with open(root + "/play.script", "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    env = dict(os.environ, TMPDIR=root + "/tmp", XDG_DATA_HOME=root + "/data", XDG_CONFIG_HOME=root + "/config")
    run = subprocess.run([binary, "--seed", str(seed), root + "/play.script"], env=env, capture_output=True,
                         text=True, timeout=600)
    if run.returncode != 0:
        raise SystemExit("vornida-headless ended with %d\n%s" % (run.returncode, run.stderr))
    return run.stdout.splitlines()


def answers(log, lines):
    """The answer of each request, by the request's command name, in order."""
    names = [re.match(r'<invoke name="(\w+)"', line).group(1) for line in lines if line.startswith("<invoke")]
    said = [line[len("answer: "):] for line in log if line.startswith("answer: ")]
    return list(zip(names, said))


def notified(log, event):
    pattern = re.compile(r"<invoke name='notify'><arguments><string>%s</string><string>(.*?)</string>" % event)
    return [m.group(1) for line in log for m in [pattern.search(line)] if m]


def pixels(path):
    return numpy.asarray(Image.open(path).convert("RGBA"))


def same_picture(a, b):
    return os.path.exists(a) and os.path.exists(b) and numpy.array_equal(pixels(a), pixels(b))


def make_photos(folder):
    os.makedirs(folder)
    for i, name in enumerate(PHOTOS):
        w, h = (480, 320) if i % 2 else (300, 420)
        photo = Image.new("RGB", (w, h), (30 + 35 * i, 210 - 30 * i, 60 + 20 * i))
        ImageDraw.Draw(photo).ellipse((w // 5, h // 5, w // 2, h // 2), fill=(250, 240 - 35 * i, 20 * i))
        photo.save(folder + "/" + name, quality=92)


def session_one(binary, root, work):
    out = work + "/out"
    chosen = [work + "/photos/" + name for name in PHOTOS]
    lines = [invoke("UpdateVornidaCanvasPos", 0, 0, 600, 400),
             "dialog " + "|".join(chosen), invoke("OpenAddPhotosDlg"), "wait",
             invoke("UndoLayout"), invoke("RedoLayout"),  # nothing made yet: both refused
             invoke("MakeShape", PARAMS), "wait", *save(out + "/first.png"),
             invoke("NewLayout", PARAMS), "wait", *save(out + "/second.png"),
             invoke("NewLayout", PARAMS), "wait", *save(out + "/third.png"),
             invoke("UndoLayout"), "wait", invoke("UndoLayout"), "wait", *save(out + "/undone.png"),
             invoke("UndoLayout"),  # at the first layout: refused
             invoke("RedoLayout"), "wait", *save(out + "/redone.png"), *save(out + "/redone.psd", psd=True),
             invoke("NewLayout", PARAMS), "wait", invoke("RedoLayout")]  # the new layout dropped the redo side
    log = play(binary, root, 5, lines)
    steps = [answer for name, answer in answers(log, lines) if name in ("UndoLayout", "RedoLayout")]
    # Before any layout; undo, undo; at the first layout; redo; after a new layout.
    expect(steps == ["<false/>", "<false/>", "<true/>", "<true/>", "<false/>", "<true/>", "<false/>"],
           "answers of UndoLayout and RedoLayout: %r" % steps)

    seeds = notified(log, "layoutSeed")
    expect(len(seeds) == 7, "a seed for each of the 7 finished layouts: %r" % seeds)
    if len(seeds) == 7:
        first, second, third = seeds[:3]
        expect(first == "5", "the first layout has the fixed seed: %r" % first)
        expect(len({first, second, third}) == 3, "each new layout has a seed of its own: %r" % seeds[:3])
        expect(seeds[3:6] == [second, first, second], "undo, undo, redo show seeds %r" % seeds[3:6])
    undo = notified(log, "canUndoLayout")
    redo = notified(log, "canRedoLayout")
    expect(undo == ["0", "1", "1", "1", "0", "1", "1"], "canUndoLayout after each layout: %r" % undo)
    expect(redo == ["0", "0", "0", "1", "1", "1", "0"], "canRedoLayout after each layout: %r" % redo)
    restored = notified(log, "layoutRestored")
    expect(len(restored) == 3 and all(r == escape(PARAMS) for r in restored),
           "each layout made again tells its settings: %r" % restored)

    expect(not same_picture(out + "/first.png", out + "/second.png"), "a new layout looks like the first")
    expect(not same_picture(out + "/second.png", out + "/third.png"), "the third layout looks like the second")
    expect(same_picture(out + "/first.png", out + "/undone.png"), "undo twice did not save the first layout")
    expect(same_picture(out + "/second.png", out + "/redone.png"), "redo did not save the second layout")
    check_layers(out + "/redone.psd", out + "/second.png")
    return seeds[1] if len(seeds) == 7 else None, log


def check_layers(psd_path, flat_path):
    if not expect(os.path.exists(psd_path), "no layered file"):
        return
    psd = PSDImage.open(psd_path)
    layers = list(psd)
    expect(len(layers) == 13, "%d layers: 12 items and the background expected" % len(layers))
    names = [layer.name.encode("utf-16-le", "surrogatepass").decode("utf-16-le") for layer in layers]
    expect(names[0] == "Background", "bottom layer named %r" % names[0])
    # 12 items of 6 photos: each photo twice, each layer under its file's name.
    expect(sorted(names[1:]) == sorted(PHOTOS * 2), "item layers named %r" % names[1:])
    # The layers drawn over each other give the flat collage of the same layout.
    canvas = Image.new("RGBA", psd.size, (0, 0, 0, 0))
    for layer in layers:
        record = layer._record
        if record.right > record.left and record.bottom > record.top:
            canvas.alpha_composite(layer.topil().convert("RGBA"), (record.left, record.top))
    flat = pixels(flat_path).astype(int)
    drawn = numpy.asarray(canvas).astype(int)
    expect(int(numpy.abs(flat[:, :, :3] - drawn[:, :, :3]).max()) <= 2,
           "the layers do not draw the saved layout")


def session_two(binary, root, work, seed, first_log):
    # The photo list of session 1, in its order, as the movie keeps it.
    listed = re.findall(r"openAddPhotosDlgCallBack'><arguments><string>&lt;photo name=&apos;.*?&apos; "
                        r"src=&apos;(.*?)&apos; thumb", "\n".join(first_log))
    listed = [html.unescape(s) for s in listed]
    expect(sorted(listed) == sorted(work + "/photos/" + n for n in PHOTOS), "photos announced: %r" % listed)
    project = work + "/trip.vrn"
    settings = PARAMS.replace("/>", " seed='%s'/>" % seed)
    with open(project, "w", encoding="utf-8") as f:
        f.write("<VornidaProject version='1'>\n  <Settings>\n    %s\n  </Settings>\n  <Photos>\n%s  </Photos>\n"
                "</VornidaProject>\n" % (settings, "".join("    <Photo src='%s'/>\n" % escape(p) for p in listed)))
    out = work + "/out"
    lines = [invoke("UpdateVornidaCanvasPos", 0, 0, 600, 400),
             "dialog " + project, invoke("OpenProject"), "wait",
             invoke("MakeShape", settings), "wait", *save(out + "/reopened.png", settings),
             invoke("MakeShape", PARAMS), "wait", *save(out + "/unseeded.png")]
    log = play(binary, root, 977, lines)
    expect(notified(log, "layoutSeed")[:1] == [seed], "the project's seed was not used: %r" % notified(log, "layoutSeed"))
    expect(same_picture(out + "/second.png", out + "/reopened.png"), "the reopened project shows another layout")
    expect(not same_picture(out + "/second.png", out + "/unseeded.png"),
           "without a kept seed the session's own seed should give another layout")


def main():
    binary = sys.argv[1]
    root = tempfile.mkdtemp(prefix="vornida-history-")
    try:
        work = root + "/work"
        for name in ("tmp", "data", "config", "work/out"):
            os.makedirs(root + "/" + name)
        make_photos(work + "/photos")
        seed, log = session_one(binary, root, work)
        if seed is not None:
            session_two(binary, root, work, seed, log)
        if failures:
            print("\n".join(failures))
            return 1
        return 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
