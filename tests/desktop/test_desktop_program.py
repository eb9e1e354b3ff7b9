"""The real vornida under Xvfb, driven through WebKitWebDriver and xdotool
with the test page of tests/desktop/pages (a stand-in for the movie that
records every call the native side makes into window.vornidaCalls).

    VORNIDA_BINARY=build/src/tools/vornida/vornida /usr/bin/python3 tests/desktop/test_desktop_program.py

Screenshots go to $VORNIDA_SCREENSHOTS (default: the system temporary
folder) so that a person can look at them.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vornida_driver import PYTHON, Vornida, XServer, drop_files, start_plain, wait_until  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PAGES = os.path.join(HERE, "pages")
DEMO = os.path.join(HERE, "..", "..", "assets", "demo-photos")
SHOTS = os.environ.get("VORNIDA_SCREENSHOTS") or tempfile.gettempdir()

TITLE_BAR = (0x6C, 0x5C, 0xE7)
SPLASH = (0xE1, 0x70, 0x55)
AREA = (0x00, 0xFF, 0x00)  # the page's canvas area (40, 80, 320 x 240)
PAGE = (0x2B, 0x2B, 0x30)

PARAMETERS = ("<Vornida shapeType='Rectangle' collageSize='900,600' itemBoundingBoxWidth='-1' numPhotos='6' "
              "spacing='1' borderSize='0.03' maxAngle='20' offsetX='0.01' offsetY='0.01' borderColor='#f2f2f2' "
              "backgroundColor='#ffffff' noShadow='true'/>")


def shot(x, name):
    os.makedirs(SHOTS, exist_ok=True)
    return x.screenshot(os.path.join(SHOTS, "vornida-" + name + ".png"))


def near(colour, expected, tolerance=24):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, expected))


def calls(app, function):
    return app.execute("return window.vornidaCalls.filter((c) => c.includes(\"name='" + function + "'\"));")


def write_photo(path, width, height, seed):
    subprocess.run([PYTHON, "-c", "import sys, random; from PIL import Image; w, h, s = map(int, sys.argv[2:5]);"
                    "random.seed(s); im = Image.new('RGB', (w, h), tuple(random.randrange(256) for _ in range(3)));"
                    "im.paste(tuple(random.randrange(256) for _ in range(3)), (w // 4, h // 4, w // 2, h // 2));"
                    "im.save(sys.argv[1], quality=90)", path, str(width), str(height), str(seed)], check=True)


class DesktopProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.x = XServer(1280, 800)

    @classmethod
    def tearDownClass(cls):
        cls.x.close()

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="vornida-desktop-test-")

    def tearDown(self):
        shutil.rmtree(self.scratch, ignore_errors=True)

    def start(self, movie=PAGES, **kwargs):
        app = Vornida(self.x, movie, **kwargs)
        self.addCleanup(app.__exit__, None, None, None)
        return app

    def test_splash_then_hand_over_to_the_maximised_main_window(self):
        movie = os.path.join(self.scratch, "movie")
        shutil.copytree(PAGES, movie)
        open(os.path.join(movie, "hold"), "w").close()
        app = self.start(movie)
        app.wait_for("typeof window.vornidaRelease === 'function'")
        splash = self.x.wait_window("^Vornida splash$")
        self.assertEqual(self.x.windows("^Vornida"), [splash], "only the splash is shown while the movie loads")
        self.assertEqual(self.x.geometry(splash), ((1280 - 485) // 2, (800 - 322) // 2, 485, 322))
        wait_until(lambda: near(self.x.pixel(shot(self.x, "splash"), 640, 400), SPLASH), 10, "the splash drawn")
        picture = shot(self.x, "splash")
        self.assertTrue(near(self.x.pixel(picture, 397, 239), (0x22, 0x22, 0x22)), "a frame of the window colour")
        self.assertTrue(near(self.x.pixel(picture, 640, 200), (0, 0, 0)), "nothing else on the screen yet")

        app.execute("window.vornidaRelease(); return true;")
        app.wait_for("window.vornidaReady === true")
        main = self.x.wait_window("^Vornida$")
        wait_until(lambda: self.x.geometry(main) == (0, 0, 1280, 800), 10, "the maximised main window")
        wait_until(lambda: not self.x.is_viewable(splash), 10, "the splash to go")
        handed_over = time.monotonic()
        wait_until(lambda: near(self.x.pixel(shot(self.x, "main"), 300, 12), TITLE_BAR), 10, "the page drawn")
        print("hand-over to a drawn page: %.2f s" % (time.monotonic() - handed_over), file=sys.stderr)
        picture = shot(self.x, "main")
        self.assertTrue(near(self.x.pixel(picture, 200, 200), AREA))
        self.assertEqual(app.execute("return window.vornidaLang;"), "en-US")
        # The desktop entry names the windows' class, so that the desktop ties them to it.
        with open(os.path.join(HERE, "..", "..", "packaging", "example.vornida.Vornida.desktop"),
                  encoding="utf-8") as entry:
            wm_class = [line.strip().split("=", 1)[1] for line in entry if line.startswith("StartupWMClass=")]
        for window in (main, splash):
            self.assertEqual(re.findall(r'"([^"]*)"', self.x.run("xprop", "-id", str(window), "WM_CLASS")),
                             wm_class * 2)

    def test_window_commands_and_the_system_menu(self):
        app = self.start()
        app.wait_for("window.vornidaReady === true")
        main = app.main_window()
        restored = ((1280 - 900) // 2, (800 - 562) // 2, 900, 562)
        maximised = (0, 0, 1280, 800)

        def after(command, geometry):
            app.call(command)
            wait_until(lambda: self.x.geometry(main) == geometry, 10, "%s to give %s" % (command, geometry))

        after("vornidaInvoke('WndSysCommand', 'SC_RESTORE')", restored)
        after("vornidaInvoke('CaptionBarDoubleClick')", maximised)
        after("vornidaInvoke('CaptionBarDoubleClick')", restored)
        after("vornidaInvoke('WndSysCommand', 'sc_maximize')", restored)  # names are exact
        after("vornidaInvoke('WndSysCommand', 'SC_MAXIMIZE')", maximised)

        # Maximised, the menu offers Restore first; choose it with the keyboard.
        app.run_async("vornidaInvoke('PopupSysMenu', 100, 40)")
        time.sleep(1.0)
        picture = shot(self.x, "system-menu")
        self.assertFalse(near(self.x.pixel(picture, 130, 52), TITLE_BAR), "the menu is drawn at the point")
        self.x.press("Down")
        self.x.press("Return")
        wait_until(lambda: self.x.geometry(main) == restored, 10, "Restore from the menu")
        app.wait_for("window.vornidaLastResult === ''")

        # Dragging the movie's title bar moves the window.
        x0, y0 = restored[0], restored[1]
        self.x.run("xdotool", "mousemove", "--sync", str(x0 + 400), str(y0 + 15), "mousedown", "1")
        time.sleep(0.5)
        for step in range(1, 6):
            self.x.run("xdotool", "mousemove", "--sync", str(x0 + 400 + step * 20), str(y0 + 15 + step * 10))
            time.sleep(0.1)
        self.x.run("xdotool", "mouseup", "1")
        wait_until(lambda: self.x.geometry(main)[:2] == (x0 + 100, y0 + 50), 10, "the window to follow the drag")

        app.run_async("vornidaInvoke('Exit')", delay_ms=300)
        self.assertEqual(app.wait_exit(20), 0)

    def test_message_boxes_answer_the_button_ids(self):
        app = self.start()
        app.wait_for("window.vornidaReady === true")
        app.run_async("vornidaInvoke('MessageBox', 'Replace the collage?\\\\nIt has 12 photos.', 'Question time', "
                      "'36', 'onBoxReply')")
        box = self.x.wait_window("^Question time$")
        shot(self.x, "message-box")
        self.x.key(box, "Return")  # Yes is the default button
        app.wait_for("window.vornidaLastResult === '<number>6</number>'")
        self.assertEqual(calls(app, "onBoxReply"),
                         ["<invoke name='onBoxReply'><arguments><number>6</number></arguments></invoke>"])

        app.run_async("vornidaInvoke('MessageBox', 'Keep going?', '', '3', 'onBoxReply', 'again')")
        box = self.x.wait_window("^Msg.Title$")
        self.x.key(box, "Escape")  # closing a Yes/No/Cancel box is Cancel
        app.wait_for("window.vornidaLastResult === '<number>2</number>'")
        self.assertEqual(calls(app, "onBoxReply")[-1],
                         "<invoke name='onBoxReply'><arguments><number>2</number><string>again</string>"
                         "</arguments></invoke>")

    def test_photos_collage_saves_and_projects_through_the_dialogs(self):
        photos = os.path.join(self.scratch, "photos")
        out = os.path.join(self.scratch, "out")
        os.makedirs(photos)
        os.makedirs(out)
        first = os.path.join(photos, "dune.jpg")
        second = os.path.join(photos, "Tom & Jerry's day.jpg")
        shutil.copy(os.path.join(DEMO, "dune.jpg"), first)
        shutil.copy(os.path.join(DEMO, "aqua.jpg"), second)
        app = self.start()
        app.wait_for("window.vornidaReady === true")

        for path in (first, second):
            app.run_async("vornidaInvoke('OpenAddPhotosDlg')")
            app.answer_file_dialog(path)
            app.wait_for("window.vornidaLastResult === ''")
        wait_until(lambda: len(calls(app, "openAddPhotosDlgCallBack")) == 2, 30, "both photos")
        added = calls(app, "openAddPhotosDlgCallBack")
        self.assertIn("name=&apos;dune.jpg&apos;", added[0])
        self.assertIn("name=&apos;Tom &amp; Jerry&apos;s day.jpg&apos;", added[1])
        thumbnails = sorted(os.listdir(app.temp_folder))
        self.assertEqual(thumbnails, ["1000.png", "1001.png"])
        # The page shows a thumbnail through the program's own address.
        thumbnail = json.dumps(os.path.join(app.temp_folder, "1000.png"))
        size = app.call("new Promise((ok) => { const i = new Image(); i.onload = () => ok(i.naturalWidth + 'x' + "
                        "i.naturalHeight); i.onerror = () => ok('error'); i.src = 'vornida://file' + encodeURI("
                        + thumbnail + "); })")
        self.assertEqual(size, {"ok": "200x125"})

        # A layout draws its preview on the canvas over the page's area.
        app.call("vornidaInvoke('MakeShape', %r)" % PARAMETERS)
        wait_until(lambda: any("haveCreateCollage" in c for c in calls(app, "notify")), 60, "the layout")
        wait_until(lambda: any("previewing</string><string>0" in c for c in calls(app, "notify")), 60, "its end")
        self.assertTrue(calls(app, "clearPreviewShape"), "showing the canvas tells the movie")
        picture = shot(self.x, "canvas")
        self.assertTrue(near(self.x.pixel(picture, 30, 200), PAGE), "left of the area stays the page")
        row = self.x.pixels(picture, [(x, 200) for x in range(40, 360)])
        covered = [x for x, colour in zip(range(40, 360), row) if not near(colour, AREA, 8)]
        self.assertTrue(covered, "the preview covers part of the area")
        self.assertLessEqual(abs((covered[0] + covered[-1]) / 2 - 200), 2, "centred in the area")
        column = self.x.pixels(picture, [(200, y) for y in range(80, 320)])
        rows = [y for y, colour in zip(range(80, 320), column) if not near(colour, AREA, 8)]
        self.assertLessEqual(abs((rows[0] + rows[-1]) / 2 - 200), 2)

        # Saving as PNG and as PSD, each chosen in the save dialog.
        png = os.path.join(out, "collage.png")
        app.run_async("vornidaInvoke('SaveShape', %r, '0')" % PARAMETERS)
        app.answer_file_dialog(png)
        app.wait_for("window.vornidaLastResult === '<true/>'")
        wait_until(lambda: any("saving</string><string>0" in c for c in calls(app, "notify")), 60, "the save")
        size = subprocess.run([PYTHON, "-c", "import sys; from PIL import Image; print(*Image.open(sys.argv[1]).size)",
                               png], capture_output=True, text=True, check=True).stdout.split()
        self.assertEqual(size, ["900", "600"])
        wait_until(lambda: "open Explorer /Select, " + png in app.shell_log(), 10, "the file manager request")

        psd = os.path.join(out, "collage.psd")
        app.execute("window.vornidaCalls.length = 0; return true;")
        app.run_async("vornidaInvoke('SaveShape', %r, '1')" % PARAMETERS)
        app.answer_file_dialog(psd)
        wait_until(lambda: any("saving</string><string>0" in c for c in calls(app, "notify")), 60, "the PSD")
        layers = subprocess.run([PYTHON, "-c", "import sys; from psd_tools import PSDImage; p = PSDImage.open("
                                 "sys.argv[1]); print(p.width, p.height, len(list(p)))", psd],
                                capture_output=True, text=True, check=True).stdout.split()
        self.assertEqual(layers[:2], ["900", "600"])
        self.assertGreaterEqual(int(layers[2]), 6)

        # A project saved through the dialog and opened again through it.
        project = os.path.join(out, "trip.vrn")
        document = "<VornidaProject><Photos><Photo src='%s'/></Photos></VornidaProject>" % first
        app.run_async("vornidaInvoke('SaveProject', %r, '1')" % document)
        app.answer_file_dialog(project)
        wait_until(lambda: os.path.exists(project), 20, "the project file")
        with open(project, encoding="utf-8") as saved:
            self.assertEqual(saved.read(), document)
        app.run_async("vornidaInvoke('OpenProject')")
        app.answer_file_dialog(project)
        wait_until(lambda: calls(app, "openProjectCallBack"), 20, "the opened project")
        self.assertEqual(calls(app, "openProjectCallBack")[-1],
                         "<invoke name='openProjectCallBack'><arguments><string>" + document +
                         "</string></arguments></invoke>")

    def test_dropped_photos_import_and_a_dropped_project_opens(self):
        photo = os.path.join(self.scratch, "dropped photo.jpg")
        shutil.copy(os.path.join(DEMO, "storm.jpg"), photo)
        project = os.path.join(self.scratch, "dropped.vrn")
        with open(project, "w", encoding="utf-8") as out:
            out.write("<VornidaProject><Photos><Photo src='%s'/></Photos></VornidaProject>"
                      % os.path.join(DEMO, "wood.jpg"))
        app = self.start()
        app.wait_for("window.vornidaReady === true")

        drop_files(self.x, [photo])
        wait_until(lambda: calls(app, "openAddPhotosDlgCallBack"), 30, "the dropped photo")
        self.assertIn("dropped photo.jpg", calls(app, "openAddPhotosDlgCallBack")[0])
        drop_files(self.x, [project])
        wait_until(lambda: calls(app, "openProjectCallBack"), 30, "the dropped project")
        wait_until(lambda: len(calls(app, "openAddPhotosDlgCallBack")) == 2, 30, "the project's photo")
        self.assertIn("wood.jpg", calls(app, "openAddPhotosDlgCallBack")[1])
        self.assertEqual(app.execute("return location.href;"), "vornida://movie/main.html?lang=en-US",
                         "the page did not navigate to the dropped file")

    def test_closing_during_an_import_stops_it_and_empties_the_temporary_folder(self):
        photos = os.path.join(self.scratch, "many")
        os.makedirs(photos)
        for n in range(40):
            write_photo(os.path.join(photos, "photo%02d.jpg" % n), 3000, 2000, n)
        # The photos come from the command line, as from the desktop file's %F.
        app = self.start(files=[photos])
        app.wait_for("window.vornidaReady === true")
        wait_until(lambda: calls(app, "openAddPhotosDlgCallBack"), 60, "the import to start")
        self.assertTrue(os.listdir(app.temp_folder), "thumbnails are being written")
        app.run_async("vornidaInvoke('WndSysCommand', 'SC_CLOSE')", delay_ms=300)
        started = time.monotonic()
        self.assertEqual(app.wait_exit(30), 0)
        self.assertLess(time.monotonic() - started, 15)
        self.assertTrue(os.path.isdir(app.temp_folder))
        self.assertEqual(os.listdir(app.temp_folder), [])

    def test_signal_ends_the_program_like_its_close_button(self):
        app = self.start(files=[os.path.join(DEMO, "dune.jpg")])
        app.wait_for("window.vornidaReady === true")
        wait_until(lambda: calls(app, "openAddPhotosDlgCallBack"), 30, "the photo of the command line")
        self.assertTrue(os.listdir(app.temp_folder))
        app.terminate()
        self.assertEqual(app.wait_exit(30), 0)
        self.assertEqual(os.listdir(app.temp_folder), [])

    def test_a_missing_movie_is_named_in_a_message_box_and_ends_with_status_1(self):
        empty = os.path.join(self.scratch, "no-movie")
        os.makedirs(empty)
        process, scratch, _ = start_plain(self.x, os.environ["VORNIDA_BINARY"], ["--movie-folder", empty])
        self.addCleanup(shutil.rmtree, scratch, True)
        try:
            box = self.x.wait_window("^Vornida$", 30)
            shot(self.x, "missing-movie")
            self.x.key(box, "Return")
            self.assertEqual(process.wait(20), 1)
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()


class ScaledScreen(unittest.TestCase):
    """A screen at scale 2: the page's CSS pixels are the window's logical
    pixels, and the preview is put on the screen pixel for pixel doubled."""

    def test_canvas_lies_over_the_area_and_stays_crisp(self):
        with XServer(2560, 1600) as x:
            app = Vornida(x, PAGES, env={"GDK_SCALE": "2"}, files=[os.path.join(DEMO, name) for name in
                                                                 ("dune.jpg", "storm.jpg", "ladybird.jpg")])
            with app:
                app.wait_for("window.vornidaReady === true")
                self.assertEqual(app.execute("return window.devicePixelRatio;"), 2)
                wait_until(lambda: len(calls(app, "openAddPhotosDlgCallBack")) == 3, 30, "the photos")
                app.call("vornidaInvoke('MakeShape', %r)" % PARAMETERS)
                wait_until(lambda: any("previewing</string><string>0" in c for c in calls(app, "notify")), 60,
                           "the layout")
                picture = shot(x, "canvas-scale-2")
                # The area is (40, 80, 320 x 240) in CSS pixels: (80, 160, 640 x 480) on the screen.
                self.assertTrue(near(x.pixel(picture, 70, 400), PAGE))
                row = x.pixels(picture, [(px, 400) for px in range(80, 720, 2)])
                covered = [px for px, colour in zip(range(80, 720, 2), row) if not near(colour, AREA, 8)]
                self.assertTrue(covered)
                self.assertLessEqual(abs((covered[0] + covered[-1] + 1) / 2 - 400), 3, "centred in the area")
                # Pixel-doubled: each 2 x 2 block of the preview is one colour.
                blocks = subprocess.run([PYTHON, "-c", """
import sys
from PIL import Image
image = Image.open(sys.argv[1]).convert("RGB")
left, right = int(sys.argv[2]), int(sys.argv[3])
uneven = 0
for y in range(300, 500, 2):
    for x in range(left, right, 2):
        block = {image.getpixel((x + dx, y + dy)) for dx in (0, 1) for dy in (0, 1)}
        uneven += len(block) > 1
print(uneven)
""", picture, str(covered[0] + (covered[0] % 2)), str(covered[-1] - 1)], capture_output=True, text=True,
                                        check=True).stdout
                self.assertEqual(int(blocks), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
