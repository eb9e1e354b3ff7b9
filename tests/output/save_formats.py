#!/usr/bin/python3
"""Plays save_formats.script through vornida-headless and checks what it wrote.

usage: save_formats.py BINARY SCRIPT

The script's {WORK} is a fresh folder holding eight photos, a square
background picture, an existing file, a folder in the way of two saves and
a symbolic link to a photo. The saved files are read back with Pillow,
psd-tools and ImageMagick; the event log must show each save's dialog,
notifications, state texts and file browser, and for a save that fails or
is refused the reason in the state text and a message box.
"""
import configparser
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

import numpy
from PIL import Image, ImageDraw
from psd_tools import PSDImage

STRINGS = {"Done": "Saved.", "Error": "Not saved!", "File": " File ", "AllFiles": "All Files",
           "Save_Shape": "Save the collage", "Saving_the_collage": "Saving...", "Save_Failed": "Not saved"}
FLAT_FILTER = ("PNG File (*.png)|*.png|JPG File (*.jpg)|*.jpg|BMP File (*.bmp)|*.bmp|"
               "All Files (*.*)|*.*||")
PSD_FILTER = "PSD File (*.psd)|*.psd|All Files (*.*)|*.*||"
CANVAS = (900, 600)
ITEMS = 14

failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)
    return condition


def make_inputs(work):
    os.makedirs(work + "/photos")
    os.makedirs(work + "/out/taken.png")  # a folder where a save wants its file
    for i in range(8):
        w, h = (640, 480) if i % 2 else (360, 540)
        photo = Image.linear_gradient("L").resize((w, h)).convert("RGB")
        ImageDraw.Draw(photo).rectangle((w // 4, h // 4, w // 2, h // 2), fill=(30 * i, 200 - 20 * i, 90))
        photo.save("%s/photos/p%d.jpg" % (work, i), quality=92)
    Image.new("RGB", (500, 500), (20, 120, 60)).save(work + "/background.png")
    with open(work + "/out/layers.png", "wb") as f:
        f.write(b"earlier file")
    os.symlink(work + "/photos/p4.jpg", work + "/out/alias.jpg")


def notify(event, value):
    return "call: <invoke name='notify'><arguments><string>%s</string><string>%s</string></arguments></invoke>" % (
        event, value)


def state(text):
    return "call: <invoke name='setStateText'><arguments><string>%s</string></arguments></invoke>" % text


def error_box(text):
    return "msgbox: style=16 caption=Not saved! text=" + text


PHOTO_REFUSED = "This file is one of the collage's own pictures and would be overwritten; choose another name: "


# ---- the event log -------------------------------------------------------

def check_log(log, work):
    lines = log.splitlines()
    dialogs = [i for i, line in enumerate(lines) if line.startswith("dialog: save")]
    out = work + "/out"
    # (path chosen, PSD flag, outcome): "done", ("error", reason), "nothing"
    # (no finished layout), "cancel", ("refused", photo).
    saves = [
        (out + "/early.png", 0, "nothing"),
        (out + "/collage.png", 0, "done"),
        (out + "/collage.JPG", 0, "done"),
        (out + "/collage.bmp", 0, "done"),
        (out + "/collage.psd", 1, "done"),
        (out + "/noextension", 0, "done"),
        (None, 0, "cancel"),
        (work + "/missing/collage.png", 0, ("error", "No such file or directory")),
        (out + "/taken.png", 0, ("error", "Is a directory")),
        (out + "/layers.png", 1, ("error", "A layered file needs a name ending in .psd")),
        (out + "/picture.psd", 1, "done"),
        (out + "/picture.png", 0, "done"),
        (out + "/red.psd", 1, "done"),
        (out + "/red.png", 0, "done"),
        (out + "/red.jpg", 0, "done"),
        (out + "/red.bmp", 0, "done"),
        (out + "/low.jpg", 0, "done"),
        (work + "/photos/p3.jpg", 0, ("refused", work + "/photos/p3.jpg")),
        (out + "/alias.jpg", 1, ("refused", work + "/photos/p4.jpg")),
    ]
    if not expect(len(dialogs) == len(saves), "%d save dialogs, expected %d" % (len(dialogs), len(saves))):
        return
    folder = ""
    for n, (path, psd, outcome) in enumerate(saves):
        start = dialogs[n]
        block = lines[start:dialogs[n + 1] if n + 1 < len(dialogs) else len(lines)]
        what = "save %d (%s)" % (n, path)
        expect(block[0] == "dialog: save title=Save the collage folder=%s filter=%s" % (
            folder, PSD_FILTER if psd else FLAT_FILTER), what + ": dialog line " + block[0])
        refused = isinstance(outcome, tuple) and outcome[0] == "refused"
        answer = next((line for line in block if line.startswith("answer: ")), "no answer")
        expect(answer == ("answer: <false/>" if outcome == "cancel" or refused else "answer: <true/>"),
               what + ": " + answer)
        if outcome == "cancel" or refused:
            expect(notify("saving", "1") not in block, what + ": a refused or cancelled dialog started a save")
            if refused:
                folder = os.path.dirname(path)
                expect(error_box(PHOTO_REFUSED + outcome[1]) in block, what + ": no message naming the photo")
            continue
        folder = os.path.dirname(path)
        try:
            begin, end = block.index(notify("saving", "1")), block.index(notify("saving", "0"))
        except ValueError:
            failures.append(what + ": no saving 1 / 0 pair")
            continue
        save_lines = block[begin:end + 1]
        shell = "shell: open Explorer /Select, " + path
        texts = [line for line in save_lines if line.startswith("call: <invoke name='setStateText'")]
        if outcome == "nothing":
            expect(texts == [] and shell not in save_lines, what + ": wrote or reported %r" % texts)
        elif outcome == "done":
            expect(texts == [state("Saving..."), state("Saved.")], what + ": state texts %r" % texts)
            expect(save_lines.count(shell) == 1, what + ": no file browser")
        else:
            why = "Not saved: " + outcome[1]
            expect(texts == [state("Saving..."), state(why)], what + ": state texts %r" % texts)
            expect(error_box(why) in block, what + ": no message box with the reason")
            expect(not any(line.startswith("shell:") for line in save_lines), what + ": opened a file browser")
        progress = [line for line in save_lines if "setProgress'" in line]
        if outcome == "done":
            expect(progress and progress[-1].endswith("<number>%d</number></arguments></invoke>" % (ITEMS - 1)),
                   what + ": the progress does not end full: %r" % progress[-1:])

    # The save asked for during the second layout waited for it: that run's
    # "previewing" "0" comes before the save's "saving" "1".
    ends = [i for i, line in enumerate(lines) if line == notify("previewing", "0")]
    picture_save = dialogs[10]
    expect(len(ends) == 3, "%d layout runs ended, expected 3" % len(ends))
    expect(any(picture_save > e > dialogs[9] for e in ends),
           "the save during a layout did not wait for the layout to end")


# ---- the files -----------------------------------------------------------

def load(path):
    image = Image.open(path)
    image.load()
    return image


def identify(path, form="%m %w %h"):
    run = subprocess.run(["identify", "-format", form + "\n", path], capture_output=True, text=True)
    return run.stdout.split("\n")[0]


def check_merged(path, flat_rgb, what):
    """The merged image of a layered file, as ImageMagick, Pillow and psd-tools
    read it, against the flat render of the same layout."""
    magick = subprocess.run(["convert", path + "[0]", "rgb:-"], capture_output=True)
    readings = {
        "ImageMagick": numpy.frombuffer(magick.stdout, dtype=numpy.uint8).reshape(flat_rgb.shape)
        if len(magick.stdout) == flat_rgb.size else None,
        "Pillow": numpy.asarray(load(path).convert("RGB")),
        "psd-tools": numpy.asarray(PSDImage.open(path).topil().convert("RGB")),
    }
    for reader, merged in readings.items():
        if not expect(merged is not None and merged.shape == flat_rgb.shape, "%s: %s cannot read the merged image"
                      % (what, reader)):
            continue
        difference = numpy.abs(merged.astype(int) - flat_rgb.astype(int)).mean()
        expect(difference < 2, "%s: %s's merged image differs from the flat render by %.2f" % (what, reader, difference))


def layers_of(path):
    psd = PSDImage.open(path)
    return psd, list(psd)


def composite(layers, size):
    """The layers drawn bottom first over a transparent canvas, each at its
    own rectangle (cut to the canvas)."""
    canvas = Image.new("RGBA", size, (0, 0, 0, 0))
    for layer in layers:
        record = layer._record
        if record.right <= record.left or record.bottom <= record.top:
            continue
        image = layer.topil().convert("RGBA")
        left, top = record.left, record.top
        box = (max(0, -left), max(0, -top), min(image.width, size[0] - left), min(image.height, size[1] - top))
        canvas.alpha_composite(image.crop(box), (left + box[0], top + box[1]))
    return canvas


def check_layer_records(layers, count, what):
    """A background layer (when there is one more layer than items) is named
    "Background"; each item's layer after its photo's file, and with 14
    items of 8 photos every photo has a layer."""
    expect(len(layers) == count, "%s: %d layers, expected %d" % (what, len(layers), count))
    items = layers[count - ITEMS:]
    if count > ITEMS:
        expect(layers[0].name == "Background", "%s: bottom layer named %r" % (what, layers[0].name))
    photos = {"p%d.jpg" % i for i in range(8)}
    expect({layer.name for layer in items} == photos,
           "%s: item layers named %r" % (what, sorted({layer.name for layer in items})))
    for index, layer in enumerate(layers):
        record = layer._record
        expect(layer.opacity == 255, "%s: layer %d opacity %d" % (what, index, layer.opacity))
        image = layer.topil()
        expect(image is not None and image.size == (record.right - record.left, record.bottom - record.top),
               "%s: layer %d pixels do not fill its rectangle" % (what, index))


def max_difference(a, b, mask=None):
    diff = numpy.abs(a.astype(int) - b.astype(int))
    if mask is not None:
        diff = diff[mask]
    return int(diff.max()) if diff.size else 0


def premultiplied(rgba):
    """Colour times coverage: where a pixel is nearly transparent its straight
    colour carries almost no information (a few levels of alpha leave the
    colour to rounding), so layers and flat renders are compared this way."""
    rgba = rgba.astype(int)
    out = rgba.copy()
    out[:, :, :3] = (rgba[:, :, :3] * rgba[:, :, 3:4] + 127) // 255
    return out


def check_transparent_collage(out):
    png = load(out + "/collage.png")
    expect(png.format == "PNG" and png.mode == "RGBA" and png.size == CANVAS,
           "collage.png: %s %s %s" % (png.format, png.mode, png.size))
    expect(identify(out + "/collage.png") == "PNG 900 600", "identify collage.png: " + identify(out + "/collage.png"))
    rgba = numpy.asarray(png)
    alpha = rgba[:, :, 3]
    clear, solid = alpha == 0, alpha == 255
    expect(clear.sum() > 1000, "collage.png: only %d transparent pixels" % clear.sum())
    expect(solid.sum() > 100000, "collage.png: only %d opaque pixels" % solid.sum())

    jpeg = load(out + "/collage.JPG")
    expect(jpeg.format == "JPEG" and jpeg.size == CANVAS, "collage.JPG: %s %s" % (jpeg.format, jpeg.size))
    expect(identify(out + "/collage.JPG") == "JPEG 900 600", "identify collage.JPG")
    jpg = numpy.asarray(jpeg.convert("RGB")).astype(int)
    expect(jpg[clear].mean() > 250, "collage.JPG: the background is not white (%.1f)" % jpg[clear].mean())
    expect(numpy.abs(jpg[solid] - rgba[:, :, :3][solid]).mean() < 6, "collage.JPG: the items differ from the PNG")

    bmp = load(out + "/collage.bmp")
    expect(bmp.format == "BMP" and bmp.mode == "RGB" and bmp.size == CANVAS,
           "collage.bmp: %s %s %s" % (bmp.format, bmp.mode, bmp.size))
    expect(identify(out + "/collage.bmp") in ("BMP 900 600", "BMP3 900 600"),
           "identify collage.bmp: " + identify(out + "/collage.bmp"))
    rgb = numpy.asarray(bmp)
    expect(bool((rgb[clear] == 255).all()), "collage.bmp: the background is not white")
    expect(max_difference(rgb, rgba[:, :, :3], solid) <= 1, "collage.bmp: the items differ from the PNG")

    other = load(out + "/noextension")
    expect(other.format == "JPEG" and other.size == CANVAS, "noextension: %s" % other.format)

    psd, layers = layers_of(out + "/collage.psd")
    expect(psd.version == 1 and psd.size == CANVAS, "collage.psd: version %d size %s" % (psd.version, psd.size))
    check_layer_records(layers, ITEMS, "collage.psd")
    for index, layer in enumerate(layers):
        r = layer._record
        expect(0 <= r.left < r.right <= CANVAS[0] and 0 <= r.top < r.bottom <= CANVAS[1],
               "collage.psd: layer %d rectangle %s" % (index, (r.left, r.top, r.right, r.bottom)))
    # Drawn in order, the layers give the flat render; where the flat render is
    # opaque the top layer's own opaque pixels are exactly what it shows.
    mixed = premultiplied(numpy.asarray(composite(layers, CANVAS)))
    expect(max_difference(mixed, premultiplied(rgba)) <= 2, "collage.psd: the layers do not compose to the PNG (%d)" %
           max_difference(mixed, premultiplied(rgba)))
    top = layers[-1]
    r = top._record
    mine = numpy.asarray(top.topil().convert("RGBA"))
    flat = rgba[r.top:r.bottom, r.left:r.right]
    expect(max_difference(mine[:, :, :3], flat[:, :, :3], mine[:, :, 3] == 255) <= 1,
           "collage.psd: the top layer's pixels differ from the flat render")
    # The merged image has no alpha: the transparent background shows as white.
    alpha = rgba[:, :, 3:4].astype(int)
    over_white = (rgba[:, :, :3].astype(int) * alpha + 255 * (255 - alpha) + 127) // 255
    check_merged(out + "/collage.psd", over_white, "collage.psd")


def check_picture_background(out):
    png = numpy.asarray(load(out + "/picture.png").convert("RGBA"))
    psd, layers = layers_of(out + "/picture.psd")
    check_layer_records(layers, ITEMS + 1, "picture.psd")
    # The square picture covers the 900 x 600 canvas at 900 x 900, centred:
    # its layer keeps the part on the canvas.
    r = layers[0]._record
    expect((r.left, r.top, r.right, r.bottom) == (0, 0, 900, 600),
           "picture.psd: background rectangle %s" % ((r.left, r.top, r.right, r.bottom),))
    background = numpy.asarray(layers[0].topil().convert("RGBA"))
    expect(bool((background == (20, 120, 60, 255)).all()), "picture.psd: the background layer's pixels")
    mixed = premultiplied(numpy.asarray(composite(layers, CANVAS)))
    expect(max_difference(mixed, premultiplied(png)) <= 2, "picture.psd: the layers do not compose to the PNG")
    check_merged(out + "/picture.psd", png[:, :, :3], "picture.psd")


def check_colour_background(out):
    png = numpy.asarray(load(out + "/red.png").convert("RGBA"))
    psd, layers = layers_of(out + "/red.psd")
    check_layer_records(layers, ITEMS + 1, "red.psd")
    r = layers[0]._record
    expect((r.left, r.top, r.right, r.bottom) == (0, 0) + CANVAS, "red.psd: colour layer rectangle")
    colour = numpy.asarray(layers[0].topil().convert("RGBA"))
    expect(bool((colour == (192, 32, 32, 255)).all()), "red.psd: the colour layer is not the background colour")
    mixed = numpy.asarray(composite(layers, CANVAS))
    expect(max_difference(mixed, png) <= 2, "red.psd: the layers do not compose to the PNG")
    red = (png[:, :, :3] == (192, 32, 32)).all(axis=2)
    expect(red.sum() > 1000, "red.png: the background is not red")
    # The opaque colour is kept where the format has no alpha.
    jpg = numpy.asarray(load(out + "/red.jpg").convert("RGB")).astype(int)
    background = jpg[red].mean(axis=0)
    expect(numpy.abs(background - (192, 32, 32)).max() < 4, "red.jpg: the background is %s, not red" % background)
    bmp = numpy.asarray(load(out + "/red.bmp").convert("RGB"))
    expect(bool((bmp[red] == (192, 32, 32)).all()), "red.bmp: the background is not red")
    # The layered file's merged image, which viewers show, is the flat picture.
    check_merged(out + "/red.psd", png[:, :, :3], "red.psd")
    # Quality 90 by default with full-resolution colour; what the text asks for otherwise.
    expect(identify(out + "/red.jpg", "%Q %[jpeg:sampling-factor]") == "90 1x1,1x1,1x1",
           "red.jpg: " + identify(out + "/red.jpg", "%Q %[jpeg:sampling-factor]"))
    expect(identify(out + "/low.jpg", "%Q %[jpeg:sampling-factor]") == "35 2x2,1x1,1x1",
           "low.jpg: " + identify(out + "/low.jpg", "%Q %[jpeg:sampling-factor]"))
    expect(os.path.getsize(out + "/low.jpg") < os.path.getsize(out + "/red.jpg") / 2, "low.jpg is not smaller")


def check_failures(work):
    out = work + "/out"
    expect(not os.path.exists(out + "/early.png"), "a save without a layout wrote a file")
    expect(not os.path.exists(work + "/missing"), "a save into a missing folder made it")
    expect(os.path.isdir(out + "/taken.png") and os.listdir(out + "/taken.png") == [],
           "the folder in the way was changed")
    with open(out + "/layers.png", "rb") as f:
        expect(f.read() == b"earlier file", "a failed save changed the earlier file")
    names = sorted(os.listdir(out))
    expected = sorted(["collage.png", "collage.JPG", "collage.bmp", "collage.psd", "noextension", "taken.png",
                       "layers.png", "picture.psd", "picture.png", "red.psd", "red.png", "red.jpg", "red.bmp",
                       "low.jpg", "alias.jpg"])
    expect(os.path.islink(out + "/alias.jpg"), "the link to a photo was replaced")
    with open(work + "/photos/p3.jpg", "rb") as f:
        expect(f.read(2) == b"\xff\xd8", "the photo p3.jpg was overwritten")
    expect(names == expected, "files in the output folder: %r" % names)


def check_remembered_folder(root, work):
    stores = glob.glob(root + "/config/**/*.ini", recursive=True)
    values = []
    for store in stores:
        ini = configparser.ConfigParser(interpolation=None)
        ini.optionxform = str
        ini.read(store)
        values.append(ini.get("Recent", "Path_SaveShape", fallback=None))
    expect(work + "/out" in values, "Path_SaveShape is %r" % values)


def main():
    binary, script_path = sys.argv[1], sys.argv[2]
    root = tempfile.mkdtemp(prefix="vornida-save-")
    try:
        work = root + "/work"
        for name in ("tmp", "data", "config"):
            os.makedirs(root + "/" + name)
        make_inputs(work)
        with open(root + "/strings.json", "w") as f:
            json.dump(STRINGS, f)
        with open(script_path, encoding="utf-8") as f:
            script = f.read().replace("{WORK}", work)
        with open(root + "/play.script", "w", encoding="utf-8") as f:
            f.write(script)
        env = dict(os.environ, TMPDIR=root + "/tmp", XDG_DATA_HOME=root + "/data",
                   XDG_CONFIG_HOME=root + "/config")
        run = subprocess.run([binary, "--seed", "1207", "--strings", root + "/strings.json", root + "/play.script"], env=env,
                             capture_output=True, text=True, timeout=600)
        if run.returncode != 0:
            print("vornida-headless ended with %d\n%s" % (run.returncode, run.stderr))
            return 1
        check_log(run.stdout, work)
        out = work + "/out"
        check_transparent_collage(out)
        check_picture_background(out)
        check_colour_background(out)
        check_failures(work)
        check_remembered_folder(root, work)
        if failures:
            print("\n".join(failures))
            return 1
        return 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
