"""A whole session in the real vornida with its real user interface, as a
person plays it with nothing but the interface: photos come from the command
line, the add-photos dialog and a drop on the window; each shape (rectangle,
circle, picture silhouette, text) is picked, its collage made and saved as
PNG and as layered PSD; the project is saved, a new one started, the saved
one opened again and found to be the same.

    VORNIDA_BINARY=build/src/tools/vornida/vornida /usr/bin/python3 tests/desktop/test_movie_session.py

Clicks and typing go through WebKitWebDriver's element commands (real
pointer and key events in the page); native dialogs are answered with
xdotool. The saved files are read back with Pillow and psd-tools.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
from xml.etree import ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vornida_driver import PYTHON, Vornida, XServer, drop_files, wait_until  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(HERE, "..", "..", "assets", "demo-photos")
# The screenshots of the real program, to be looked at (ctest puts them in
# the build tree's desktop-screenshots/).
SHOTS = os.environ.get("VORNIDA_DESKTOP_SCREENSHOTS") or os.environ.get("VORNIDA_SCREENSHOTS") or tempfile.gettempdir()
WIDTH, HEIGHT = 900, 600

# Shares of the collage's pixels that are not the white background: over the
# whole picture, and in the regions each shape leaves empty or fills.
COVERAGE = """
import json, sys
from PIL import Image
image = Image.open(sys.argv[1]).convert("RGB")
w, h = image.size
pixels = image.load()
regions = {"all": 0, "disc": 0, "corners": 0, "left": 0, "right": 0}
totals = dict.fromkeys(regions, 0)
for y in range(0, h, 3):
    for x in range(0, w, 3):
        covered = pixels[x, y] != (255, 255, 255)
        d = ((x - w / 2) / (w / 2)) ** 2 + ((y - h / 2) / (h / 2)) ** 2
        names = ["all"]
        names += ["disc"] if d < 0.5 else ["corners"] if d > 1.3 else []
        names += ["left"] if x < 0.3 * w else ["right"] if x > 0.6 * w else []
        for name in names:
            totals[name] += 1
            regions[name] += covered
print(json.dumps([w, h, {k: regions[k] / totals[k] for k in regions if totals[k]}]))
"""

PSD_LAYERS = ("import json, sys\nfrom psd_tools import PSDImage\np = PSDImage.open(sys.argv[1])\n"
              "print(json.dumps([p.width, p.height, [l.name for l in p.descendants()]]))")


def python(script, *args):
    return json.loads(subprocess.run([PYTHON, "-c", script, *args], capture_output=True, text=True,
                                     check=True).stdout)


def write_silhouette(path):
    """Black on transparent over the left 40 % of a canvas-shaped picture."""
    subprocess.run([PYTHON, "-c", "import sys; from PIL import Image, ImageDraw; im = Image.new('RGBA', (900, 600), "
                    "(0, 0, 0, 0)); ImageDraw.Draw(im).rectangle((0, 0, 359, 599), fill=(0, 0, 0, 255)); "
                    "im.save(sys.argv[1])", path], check=True)


def project_content(path):
    """A project's settings (every attribute but the text shape's temporary picture) and its photos
    (in any order: photos import side by side, so they arrive in any order)."""
    root = ElementTree.parse(path).getroot()
    settings = dict(root.find("Settings/Vornida").attrib)
    settings.pop("shapePath", None)
    settings.pop("shapeImage", None) if settings.get("shapeType") == "Text" else None
    return settings, sorted(photo.get("src") for photo in root.iter("Photo"))


def complete(path):
    """True once `path` is a whole picture file (the save writes it aside and renames it in)."""
    if not os.path.exists(path):
        return False
    result = subprocess.run([PYTHON, "-c", "import sys; from PIL import Image; Image.open(sys.argv[1]).load()",
                             path], capture_output=True)
    return result.returncode == 0


class MovieSession(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="vornida-session-")
        self.addCleanup(shutil.rmtree, self.scratch, True)
        self.x = XServer(1280, 800)
        self.addCleanup(self.x.close)
        binary = os.environ["VORNIDA_BINARY"]
        self.movie = os.path.join(os.path.dirname(binary), "movie")

    def shot(self, name):
        os.makedirs(SHOTS, exist_ok=True)
        return self.x.screenshot(os.path.join(SHOTS, name + ".png"))

    def tiles(self, app):
        return app.execute("return [...document.querySelectorAll('#photo-grid .photo-tile')]"
                           ".map((t) => t.dataset.src);")

    def preview_version(self, app):
        return app.execute("const i = document.getElementById('preview-image');"
                           "return i.hidden ? '' : i.getAttribute('src');")

    def make(self, app, shoot_forming=None):
        """Makes the collage and waits for its finished preview (a new one)."""
        before = self.preview_version(app)
        app.click("#make-button")
        if shoot_forming:
            time.sleep(0.4)
            self.shot(shoot_forming)
        wait_until(lambda: self.preview_version(app) not in ("", before), 90, "a new finished preview", 0.2)
        app.wait_for("document.getElementById('state-text').textContent === 'Done' && "
                     "!document.getElementById('make-button').disabled", 30)

    def settle(self, app):
        """Waits out the re-make a changed setting starts by itself (after 0.7 s) once a collage exists."""
        time.sleep(1.0)
        app.wait_for("!document.getElementById('make-button').disabled", 90)

    def save_collage(self, app, path, psd, shoot=None):
        app.click("#save-collage-button")
        app.wait_for("document.getElementById('save-dialog').open")
        app.click('label.format-card:has(input[value="%s"])' % ("psd" if psd else "picture"))
        if shoot:
            self.shot(shoot + "-choice")
        app.click("#save-confirm")
        app.answer_file_dialog(path, shoot=(lambda dialog: self.shot(shoot)) if shoot else None)
        wait_until(lambda: complete(path), 90, "the saved " + os.path.basename(path), 0.3)

    def check_collage(self, shape, png, psd):
        width, height, covered = python(COVERAGE, png)
        self.assertEqual((width, height), (WIDTH, HEIGHT), shape)
        if shape == "Rectangle":
            self.assertGreater(covered["all"], 0.6, covered)
        elif shape == "Circle":
            self.assertGreater(covered["disc"], 0.6, covered)
            self.assertLess(covered["corners"], 0.15, covered)
        elif shape == "Image":
            self.assertGreater(covered["left"], 0.6, covered)
            self.assertLess(covered["right"], 0.15, covered)
        else:
            self.assertTrue(0.05 < covered["all"] < 0.8, covered)
        width, height, layers = python(PSD_LAYERS, psd)
        self.assertEqual((width, height), (WIDTH, HEIGHT), shape)
        # One layer per placed photo (plus the background): as many as fit is more than three.
        self.assertGreater(len(layers), 3, layers)
        return covered

    def test_each_shape_made_saved_and_the_project_reopened(self):
        photos = os.path.join(self.scratch, "photos")
        out = os.path.join(self.scratch, "out")
        os.makedirs(photos)
        os.makedirs(out)
        names = ["dune.jpg", "Tom & Jerry's day.jpg", "夏天 海边.jpg"]
        sources = ["dune.jpg", "aqua.jpg", "storm.jpg"]
        paths = [os.path.join(photos, n) for n in names]
        for source, path in zip(sources, paths):
            shutil.copy(os.path.join(DEMO, source), path)
        silhouette = os.path.join(self.scratch, "half.png")
        write_silhouette(silhouette)

        started = time.monotonic()
        timing = os.path.join(self.scratch, "timing.log")
        app = Vornida(self.x, self.movie, files=[paths[0]], args=["--timing-log", timing])
        self.addCleanup(app.__exit__, None, None, None)
        splash = self.x.wait_window("^Vornida splash$", 30)
        time.sleep(0.3)
        if self.x.is_viewable(splash):
            self.shot("01-splash")
        app.wait_for("document.getElementById('app').dataset.ready === 'true'", 60)
        wait_until(lambda: len(self.tiles(app)) == 1, 30, "the photo of the command line")
        time.sleep(0.5)
        self.shot("02-first-photo")

        # The second through the add-photos dialog, the third dropped on the window.
        app.click("#add-photos-button")
        app.answer_file_dialog(paths[1])
        wait_until(lambda: len(self.tiles(app)) == 2, 30, "the chosen photo")
        # What the page sees of the drag: it marks where the files go while they are over it.
        app.execute("window.dragSeen = []; const app = document.getElementById('app');"
                    "for (const name of ['dragenter', 'dragleave', 'drop']) document.addEventListener(name, (e) =>"
                    " setTimeout(() => dragSeen.push([name, [...(e.dataTransfer?.types ?? [])].join(),"
                    " app.classList.contains('dragging')])));")
        drop_files(self.x, [paths[2]])
        wait_until(lambda: len(self.tiles(app)) == 3, 30, "the dropped photo")
        seen = app.execute("return window.dragSeen;")
        self.assertEqual(seen[0], ["dragenter", "Files", True], seen)
        self.assertFalse(seen[-1][2], "the mark goes once the files are dropped: %s" % seen)
        self.assertFalse(app.execute("return document.getElementById('app').classList.contains('dragging');"))
        self.assertEqual(sorted(self.tiles(app)), sorted(paths))
        self.assertEqual(app.execute("return document.getElementById('photo-count').textContent;"), "3 photos")
        time.sleep(0.5)
        self.shot("03-photos-added")
        self.assertEqual(app.execute("return location.href;"), "vornida://movie/main.html?lang=en-US",
                         "the drop did not navigate the page away")

        app.click("#tab-canvas")
        app.type_into("#canvas-width", str(WIDTH))
        app.type_into("#canvas-height", str(HEIGHT))
        self.assertEqual(app.execute("return [document.getElementById('canvas-width').value, "
                                     "document.getElementById('canvas-height').value];"), [str(WIDTH), str(HEIGHT)])
        app.click("#tab-items")
        app.click('label.radio-line:has(input[name="itemsMode"][value="fill"])')

        for shape in ("Rectangle", "Circle", "Image", "Text"):
            app.click("#tab-shape")
            app.click('label.choice-card:has(input[value="%s"])' % shape)
            if shape == "Image":
                # Nothing to make until a picture is chosen.
                app.wait_for("document.getElementById('make-button').disabled")
                app.click("#browse-shape")
                app.answer_file_dialog(silhouette)
                app.wait_for("document.getElementById('shape-name').textContent === 'half.png'", 20)
            self.settle(app)
            if shape == "Text":
                app.type_into("#shape-text", "VORN")
                self.assertEqual(app.execute("return document.getElementById('shape-text').value;"), "VORN")
            first = shape == "Rectangle"
            self.make(app, shoot_forming="04-layout-forming" if first else None)
            time.sleep(0.5)
            self.shot("05-finished-" + shape.lower())
            png = os.path.join(out, shape.lower() + ".png")
            psd = os.path.join(out, shape.lower() + ".psd")
            self.save_collage(app, png, psd=False, shoot="06-save-dialog" if first else None)
            self.save_collage(app, psd, psd=True)
            self.check_collage(shape, png, psd)

        # The project, saved, replaced by a new one, and opened again.
        project = os.path.join(out, "trip.vrn")
        app.click('.titlebar [data-action="save-project"]')
        app.answer_file_dialog(project)
        wait_until(lambda: os.path.exists(project), 20, "the project file")
        with open(project, encoding="utf-8") as saved:
            document = saved.read()
        for path in paths:
            self.assertIn(path.replace("&", "&amp;").replace("'", "&apos;"), document)
        settings, listed = project_content(project)
        self.assertEqual(listed, sorted(paths))
        self.assertEqual((settings["shapeType"], settings["shapeText"], settings["collageSize"]),
                         ("Text", "VORN", "%d,%d" % (WIDTH, HEIGHT)), settings)

        app.click('.titlebar [data-action="new-project"]')
        question = wait_until(lambda: [w for w in self.x.windows("^Vornida$") if self.is_message_box(w)], 20,
                              "the new-project question")[-1]
        time.sleep(0.5)
        self.shot("07-message-box")
        self.x.key(question, "Return")  # Yes is the default button
        wait_until(lambda: self.tiles(app) == [], 20, "the photos removed")
        app.click("#tab-shape")
        self.assertTrue(app.execute("return document.querySelector('input[name=\"shapeType\"][value=\"Rectangle\"]')"
                                    ".checked;"))

        app.click('.titlebar [data-action="open-project"]')
        app.answer_file_dialog(project)
        wait_until(lambda: len(self.tiles(app)) == 3, 30, "the project's photos")
        self.assertEqual(sorted(self.tiles(app)), sorted(paths))
        wait_until(lambda: self.preview_version(app) != "", 90, "the reopened collage", 0.2)
        app.wait_for("document.getElementById('state-text').textContent === 'Done' && "
                     "!document.getElementById('make-button').disabled", 60)
        self.assertTrue(app.execute("return document.querySelector('input[name=\"shapeType\"][value=\"Text\"]')"
                                    ".checked;"))
        self.assertEqual(app.execute("return document.getElementById('shape-text').value;"), "VORN")
        self.assertEqual(app.execute("return document.getElementById('canvas-width').value;"), str(WIDTH))
        self.shot("08-reopened")

        # Saved again under another name, it is the same project.
        again = os.path.join(out, "again.vrn")
        app.click("#menu-button")
        time.sleep(0.5)
        self.shot("09-menu")
        app.click('#app-menu [data-action="save-project-as"]')
        app.answer_file_dialog(again, shoot=lambda dialog: self.shot("10-save-project-dialog"))
        wait_until(lambda: os.path.exists(again), 20, "the project saved again")
        self.assertEqual(project_content(again), project_content(project))
        print("whole session: %.1f s" % (time.monotonic() - started), file=sys.stderr)

        # The splash movie was on the screen before the main window took over.
        app.close()
        with open(timing) as log:
            events = {}
            for line in log:
                name, seconds = line.split()[:2]
                events.setdefault(name, float(seconds))
        self.assertLessEqual(events["splash-shown"], events["splash-painted"])
        self.assertLessEqual(events["load-complete"], events["splash-painted"])
        self.assertLess(events["splash-painted"], events["main-shown"])
        print("LoadComplete to the main window drawn: %.3f s" % (events["main-shown"] - events["load-complete"]),
              file=sys.stderr)

    def is_message_box(self, window):
        return self.x.geometry(window)[2] < 800  # the main window is maximised


if __name__ == "__main__":
    unittest.main(verbosity=2)
