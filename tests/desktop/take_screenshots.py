#!/usr/bin/python3
"""Screenshots of the real vornida with its real user interface under Xvfb,
to be looked at: the splash, the empty main window, photos added, the
layout forming, the finished collage, the save dialog, a message box and the
upgrade wizard's pages.

    /usr/bin/python3 tests/desktop/take_screenshots.py [--build build] [--out build/desktop-screenshots]
                                                      [--appstream packaging/screenshots/main-window.png]

With --appstream the finished collage's screen is also written there (the
AppStream screenshot the metainfo names, at the screen's size). The wizard
runs the build's test copy of vornida against an update server on 127.0.0.1.
"""
import argparse
import glob
import os
import shutil
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from test_upgrade_wizard import UpdateServer  # noqa: E402
from vornida_driver import Vornida, XServer, drop_files, start_plain, wait_until  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DEMO = os.path.join(ROOT, "assets", "demo-photos")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--out")
    parser.add_argument("--appstream")
    parser.add_argument("--size", default="1280x800")
    options = parser.parse_args()
    out = options.out or os.path.join(options.build, "desktop-screenshots")
    os.makedirs(out, exist_ok=True)
    binary = os.path.join(options.build, "src/tools/vornida/vornida")
    testkey = os.path.join(options.build, "tests/desktop/vornida-testkey")
    movie = os.path.join(os.path.dirname(binary), "movie")
    width, height = (int(v) for v in options.size.split("x"))
    taken = []

    with XServer(width, height) as x:
        def shot(name):
            taken.append(x.screenshot(os.path.join(out, name + ".png")))
            return taken[-1]

        def settled_main_window():
            # Under WebDriver the page reports ready while the splash is still
            # up, and the main window's first frames are its empty background:
            # wait until the splash is gone and the page is drawn.
            x.wait_no_window("^Vornida splash$", 30)
            path = os.path.join(out, ".probe.png")
            points = [(width * i // 20, height // 2) for i in range(1, 20)] + \
                     [(width * i // 20, 20) for i in range(1, 20)]
            wait_until(lambda: len(set(x.pixels(x.screenshot(path), points))) > 3, 30, "the drawn main window")
            os.remove(path)

        # The splash, from a plain start (WebDriver's session slows the start
        # down). It is up for a few tenths of a second only, so try a few starts.
        splash_picture = os.path.join(out, "a-splash.png")
        for _ in range(5):
            if taken:
                break
            process, scratch, _ = start_plain(x, binary)
            try:
                splash = x.wait_window("^Vornida splash$", 30)
                deadline = time.monotonic() + 10
                while x.is_viewable(splash) and time.monotonic() < deadline:
                    left, top, w, h = x.geometry(splash)
                    picture = x.screenshot(splash_picture)
                    row = x.pixels(picture, [(left + w * i // 40, top + h // 2) for i in range(1, 40)])
                    if len(set(row)) > 3:  # the movie is drawn, not just the empty view
                        taken.append(picture)
                        break
            finally:
                process.send_signal(signal.SIGTERM)
                process.wait(30)
                shutil.rmtree(scratch, ignore_errors=True)
        if not taken and os.path.exists(splash_picture):
            os.remove(splash_picture)
            print("the splash was gone before a screenshot caught it", file=sys.stderr)

        with Vornida(x, movie, binary=binary) as app:
            app.wait_for("document.getElementById('app').dataset.ready === 'true'", 60)
            settled_main_window()
            time.sleep(0.5)
            shot("b-empty-main-window")

            photos = sorted(glob.glob(os.path.join(DEMO, "*.jpg")))
            drop_files(x, photos)
            wait_until(lambda: app.execute("return document.querySelectorAll('#photo-grid .photo-tile').length;")
                       == len(photos), 60, "the dropped photos")
            time.sleep(1.5)
            shot("c-photos-added")

            app.click("#tab-shape")
            app.click('label.choice-card:has(input[value="Circle"])')
            app.click("#make-button")
            time.sleep(0.5)
            shot("d-layout-forming")
            app.wait_for("!document.getElementById('preview-image').hidden && "
                         "!document.getElementById('make-button').disabled", 90)
            time.sleep(1)
            finished = shot("e-finished-collage")
            if options.appstream:
                shutil.copy(finished, options.appstream)

            app.click("#save-collage-button")
            app.wait_for("document.getElementById('save-dialog').open")
            time.sleep(0.5)
            shot("f-save-choice")
            app.click("#save-confirm")
            dialog = x.wait_window(".")
            time.sleep(1.2)
            shot("g-save-dialog")
            x.key(dialog, "Escape")

            app.click('.titlebar [data-action="new-project"]')
            time.sleep(1.2)
            shot("h-message-box")
            x.key(x.wait_window("^Vornida$"), "Escape")

        if os.path.exists(testkey):
            server = UpdateServer("9.0")
            try:
                with Vornida(x, movie, binary=testkey, args=["--update-url", server.url]) as app:
                    app.wait_for("document.getElementById('app').dataset.ready === 'true'", 60)
                    settled_main_window()
                    app.click("#menu-button")
                    app.click('#app-menu [data-action="check-update"]')
                    x.wait_window("Vornida", 20)
                    time.sleep(0.8)
                    shot("i-wizard-checking")
                    wait_until(lambda: len(server.requests) >= 2, 20, "the manifest")
                    time.sleep(1.5)
                    shot("j-wizard-new-version")
            finally:
                server.close()
    print("\n".join(taken))


if __name__ == "__main__":
    main()
