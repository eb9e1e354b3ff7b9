"""The upgrade wizard's window in the real vornida, against an update server
on 127.0.0.1: a newer version is found, its installer downloaded and handed
to the desktop on Finish; with no newer version Finish just closes.

    VORNIDA_TESTKEY_BINARY=build/tests/desktop/vornida-testkey /usr/bin/python3 tests/desktop/test_upgrade_wizard.py

The server's manifest is signed with the tests' key (tests/upgrade/keys) by
scripts/sign-update-manifest.sh, so the test copy of vornida is used.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vornida_driver import Vornida, XServer, wait_until  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
PAGES = os.path.join(HERE, "pages")
SIGN = os.path.join(HERE, "..", "..", "scripts", "sign-update-manifest.sh")
TEST_KEY = os.path.join(HERE, "..", "upgrade", "keys", "test-update-key.pem")
SHOTS = os.environ.get("VORNIDA_SCREENSHOTS") or tempfile.gettempdir()
INSTALLER = b"#!/bin/sh\necho 'Vornida 9.0 would be installed here'\n" + bytes(range(256)) * 64


def manifest(port, version):
    return ("<?xml version='1.0' encoding='utf-8'?>\n<update curver='%s'><UpdateFile><FileList>"
            "<File verfrom='3.5' verto='3.61' name='patch.zip'/></FileList></UpdateFile>"
            "<UpgradeDesc>Vornida %s\n- faster previews\n- text shapes in any font</UpgradeDesc>"
            "<InstallUrl><Url src='http://127.0.0.1:%d/files/vornida-setup.sh' type='' inzipexename='' "
            "sha256='%s'/></InstallUrl></update>" % (version, version, port,
                                                     hashlib.sha256(INSTALLER).hexdigest())).encode()


def signature(body):
    """The detached signature of a manifest, made with the tests' key by the project's signing script."""
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "update.xml")
        with open(path, "wb") as out:
            out.write(body)
        subprocess.run(["bash", SIGN, TEST_KEY, path], check=True, stdout=subprocess.DEVNULL)
        with open(path + ".sig", "rb") as sig:
            return sig.read()


class UpdateServer:
    """Serves the manifest (after a pause, so that page 1 can be seen) and the installer."""

    def __init__(self, version):
        server = self

        class Handler(BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_GET(self):
                if self.path == "/upgrade/update.xml":
                    time.sleep(1.5)
                    body = server.manifest
                elif self.path == "/upgrade/update.xml.sig":
                    body = server.signature
                elif self.path == "/files/vornida-setup.sh":
                    body = INSTALLER
                else:
                    self.send_error(404)
                    return
                server.requests.append(self.path)
                try:
                    self.send_response(200)
                    self.send_header("Content-Length", str(len(body)))
                    self.end_headers()
                    self.wfile.write(body)
                except (BrokenPipeError, ConnectionResetError):
                    pass  # the program went away (cancelled) while the answer was on its way

        self.version = version
        self.requests = []
        self.httpd = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.httpd.server_address[1]
        self.url = "http://127.0.0.1:%d/upgrade/update.xml" % self.port
        self.manifest = manifest(self.port, version)
        self.signature = signature(self.manifest)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


def shot(x, name):
    os.makedirs(SHOTS, exist_ok=True)
    return x.screenshot(os.path.join(SHOTS, "vornida-wizard-" + name + ".png"))


class UpgradeWizard(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.x = XServer(1280, 800)

    @classmethod
    def tearDownClass(cls):
        cls.x.close()

    def start(self, version):
        server = UpdateServer(version)
        self.addCleanup(server.close)
        # The copy of vornida that trusts manifests signed with the tests' key.
        app = Vornida(self.x, PAGES, args=["--update-url", server.url], binary=os.environ["VORNIDA_TESTKEY_BINARY"])
        self.addCleanup(app.__exit__, None, None, None)
        app.wait_for("window.vornidaReady === true")
        return server, app

    def asked(self, app, key):
        return app.execute("return window.vornidaCalls.some((c) => c.includes('<string>%s</string>'));" % key)

    def test_newer_version_found_installer_downloaded_and_handed_over_on_finish(self):
        server, app = self.start("9.0")
        app.run_async("vornidaInvoke('CheckUpdate')")
        wizard = self.x.wait_window("^text of UW.Title$")
        time.sleep(0.5)
        shot(self.x, "page1")
        self.assertTrue(self.asked(app, "UW.Page1.Msg0"))
        self.assertFalse(self.asked(app, "UW.Page2.Text1"), "the manifest is still on its way")

        wait_until(lambda: self.asked(app, "UW.Page2.Text1"), 20, "page 2")
        time.sleep(0.5)
        shot(self.x, "page2")
        self.assertTrue(self.asked(app, "UW.Page2.Msg1"), "the newer version is announced")
        self.x.key(wizard, "Return")  # Next has the focus

        wait_until(lambda: self.asked(app, "UW.Page3.Msg2"), 30, "the installer")
        time.sleep(0.5)
        shot(self.x, "page3")
        self.assertEqual(app.execute("return window.vornidaLastResult === undefined;"), True,
                         "CheckUpdate waits while the wizard is open")
        self.x.key(wizard, "Return")  # Finish
        app.wait_for("window.vornidaLastResult === ''")
        self.x.wait_no_window("^text of UW.Title$")
        opened = [line for line in app.shell_log() if line.startswith("open ")]
        self.assertEqual(len(opened), 1, app.shell_log())
        installer = opened[0][len("open "):]
        self.assertTrue(installer.endswith("vornida-setup.sh"), installer)
        with open(installer, "rb") as downloaded:
            self.assertEqual(downloaded.read(), INSTALLER)
        self.assertEqual(server.requests, ["/upgrade/update.xml", "/upgrade/update.xml.sig",
                                           "/files/vornida-setup.sh"])

    def test_no_newer_version_finish_only_closes(self):
        server, app = self.start("3.61")
        app.run_async("vornidaInvoke('CheckUpdate')")
        wizard = self.x.wait_window("^text of UW.Title$")
        wait_until(lambda: self.asked(app, "UW.Page2.Msg2"), 20, "the same-version page")
        time.sleep(0.5)
        shot(self.x, "no-update")
        self.x.key(wizard, "Return")
        app.wait_for("window.vornidaLastResult === ''")
        self.assertEqual(app.shell_log(), [])
        self.assertEqual(server.requests, ["/upgrade/update.xml", "/upgrade/update.xml.sig"])

    def test_closing_the_program_cancels_an_open_wizard(self):
        server, app = self.start("9.0")
        app.run_async("vornidaInvoke('CheckUpdate')")
        self.x.wait_window("^text of UW.Title$")
        app.terminate()
        self.assertEqual(app.wait_exit(30), 0)
        self.assertEqual(app.shell_log(), [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
