"""The layout history in the real vornida with the real movie, under Xvfb:
make a collage, two new layouts, undo twice, redo (buttons), then Ctrl+R,
Ctrl+Z and Ctrl+Shift+Z as key events; the preview on the screen must be
the layout stepped to, and the buttons enabled as far as there is
somewhere to go. Then a photo dragged onto another with the mouse
(xdotool) swaps their places.

    VORNIDA_BINARY=build/src/tools/vornida/vornida /usr/bin/python3 tests/desktop/test_layout_history.py

Screenshots go to $VORNIDA_SCREENSHOTS/history (default: the system
temporary folder), one per step, for a person to look at.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vornida_driver import PYTHON, Vornida, XServer, wait_until  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
# The build's copy of the interface beside the program: some of its files
# (the version) are made by the build.
MOVIE = os.path.join(os.path.dirname(os.environ.get("VORNIDA_BINARY", "")), "movie")
DEMO = os.path.join(HERE, "..", "..", "assets", "demo-photos")
SHOTS = os.path.join(os.environ.get("VORNIDA_SCREENSHOTS") or tempfile.gettempdir(), "history")

PREVIEW_SHOWN = ("const i = document.getElementById('preview-image');"
                 "return !i.hidden && i.complete && i.naturalWidth > 0 &&"
                 " !document.getElementById('make-button').classList.contains('busy');")


class LayoutHistoryOnTheDesktop(unittest.TestCase):
    def setUp(self):
        self.photos = tempfile.mkdtemp(prefix="vornida-history-photos-")
        for name in sorted(os.listdir(DEMO))[:8]:
            if name.endswith(".jpg"):
                shutil.copy(os.path.join(DEMO, name), self.photos)
        self.files = [os.path.join(self.photos, n) for n in sorted(os.listdir(self.photos))]
        os.makedirs(SHOTS, exist_ok=True)

    def tearDown(self):
        shutil.rmtree(self.photos, ignore_errors=True)

    def preview_crop(self, x, app, name):
        """The screen where the page shows the preview, as a file of its own
        (the whole screen as `name`, the part as crop-`name`)."""
        rect = app.execute("const r = document.getElementById('preview-image').getBoundingClientRect();"
                           "return [r.x, r.y, r.width, r.height].map(Math.round);")
        gx, gy, _, _ = x.geometry(app.main_window())
        screen = x.screenshot(os.path.join(SHOTS, name))
        crop = os.path.join(SHOTS, "crop-" + name)
        subprocess.run([PYTHON, "-c", "import sys; from PIL import Image; a = [int(v) for v in sys.argv[3:]];"
                        "Image.open(sys.argv[1]).convert('RGB').crop((a[0], a[1], a[0] + a[2], a[1] + a[3]))"
                        ".save(sys.argv[2])", screen, crop, str(gx + rect[0]), str(gy + rect[1]), str(rect[2]),
                        str(rect[3])], check=True)
        return crop

    def same(self, a, b):
        """The same arrangement on the screen. The screen may show the native
        canvas's last frame or the page's copy of the preview, which differ a
        few levels in colour; another arrangement differs by far more, in
        most of the picture."""
        out = subprocess.run([PYTHON, "-c", "import sys; from PIL import Image, ImageChops;"
                              "x, y = (Image.open(p).convert('RGB') for p in sys.argv[1:]);"
                              "d = ImageChops.difference(x, y).convert('L').point(lambda v: 255 if v > 40 else 0);"
                              "print(x.size == y.size and d.histogram()[255] < 0.005 * x.width * x.height)", a, b],
                             capture_output=True, text=True, check=True).stdout.strip()
        return out == "True"

    def test_undo_and_redo_show_the_layouts_again_and_a_drag_swaps_photos(self):
        with XServer(1280, 800) as x:
            with Vornida(x, movie_folder=MOVIE, files=self.files) as app:
                app.wait_for("window.vornidaReady === true", 60)
                wait_until(lambda: app.execute("return document.querySelectorAll('#photo-grid .photo-tile').length")
                           == len(self.files), 60, "the photos")

                def step(button, name):
                    if button is not None:
                        # The import may still be finishing: the button waits for it.
                        wait_until(lambda: not app.execute("return document.getElementById(arguments[0]).disabled;",
                                                           button), 60, button + " enabled")
                        app.execute("document.getElementById(arguments[0]).click(); return true;", button)
                    time.sleep(0.3)
                    wait_until(lambda: app.execute(PREVIEW_SHOWN), 90, name)
                    states = app.execute("return ['undo-layout', 'redo-layout', 'new-layout']"
                                         ".map((id) => !document.getElementById(id).disabled);")
                    # The screen shows the picture once it has faded in and
                    # been painted (under a loaded Xvfb the first paint of a
                    # picture may take a second): taken until three shots in
                    # a row agree.
                    time.sleep(1.0)
                    shown = self.preview_crop(x, app, name)
                    agreeing = 0
                    for _ in range(30):
                        time.sleep(0.5)
                        again = self.preview_crop(x, app, "next-" + name)
                        agreeing = agreeing + 1 if self.same(shown, again) else 0
                        os.replace(again, shown)
                        if agreeing == 2:
                            break
                    return shown, states

                first, states = step("make-button", "desktop-1-made.png")
                self.assertEqual(states, [False, False, True])
                second, states = step("new-layout", "desktop-2-new-layout.png")
                self.assertEqual(states, [True, False, True])
                self.assertFalse(self.same(first, second), "a new layout looks like the first")
                third, _ = step("new-layout", "desktop-3-third-layout.png")
                self.assertFalse(self.same(second, third))
                back, states = step("undo-layout", "desktop-4-undo.png")
                self.assertTrue(self.same(back, second), "one undo does not show the second layout")
                self.assertEqual(states, [True, True, True])
                back, states = step("undo-layout", "desktop-5-undo-again.png")
                self.assertTrue(self.same(back, first), "two undos do not show the first layout")
                self.assertEqual(states, [False, True, True])
                forward, states = step("redo-layout", "desktop-6-redo.png")
                self.assertTrue(self.same(forward, second), "redo does not show the second layout")

                # The same from the keyboard, as X key events: Ctrl+R anywhere
                # (a new layout, not a reload of the page), Ctrl+Z and
                # Ctrl+Shift+Z on the preview.
                app.execute("window.notReloaded = true; return true;")
                window = app.main_window()

                def keys(combination, name):
                    x.key(window, combination)
                    return step(None, name)

                fourth, states = keys("ctrl+r", "desktop-8-ctrl-r.png")
                self.assertTrue(app.execute("return window.notReloaded === true;"), "Ctrl+R reloaded the page")
                self.assertFalse(self.same(fourth, second))
                self.assertEqual(states, [True, False, True])
                app.execute("document.getElementById('canvas-area').focus(); return true;")
                back, states = keys("ctrl+z", "desktop-9-ctrl-z.png")
                self.assertTrue(self.same(back, second), "Ctrl+Z does not show the layout before")
                self.assertEqual(states, [True, True, True])
                forward, _ = keys("ctrl+shift+z", "desktop-10-ctrl-shift-z.png")
                self.assertTrue(self.same(forward, fourth), "Ctrl+Shift+Z does not show the layout after")

                # A drag with the mouse from the first tile onto the third.
                titles = "return [...document.querySelectorAll('#photo-grid .photo-tile')].map((t) => t.title);"
                before = app.execute(titles)
                centres = app.execute("return [...document.querySelectorAll('#photo-grid .photo-tile')].map((t) => {"
                                      "const r = t.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2];});")
                gx, gy, _, _ = x.geometry(app.main_window())
                (ax, ay), (bx, by) = centres[0], centres[2]
                x.run("xdotool", "mousemove", "--sync", str(int(gx + ax)), str(int(gy + ay)), "mousedown", "1")
                for i in range(1, 9):
                    x.run("xdotool", "mousemove", "--sync", str(int(gx + ax + (bx - ax) * i / 8)),
                          str(int(gy + ay + (by - ay) * i / 8)))
                    time.sleep(0.03)
                x.screenshot(os.path.join(SHOTS, "desktop-7-dragging.png"))
                x.run("xdotool", "mouseup", "1")
                wait_until(lambda: app.execute(titles) != before, 10, "the swap")
                self.assertEqual(app.execute(titles), [before[2], before[1], before[0], *before[3:]])


if __name__ == "__main__":
    unittest.main()
