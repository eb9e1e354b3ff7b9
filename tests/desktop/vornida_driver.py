"""Drives the real vornida under Xvfb, through WebKitWebDriver and xdotool.

    with XServer() as x:
        with Vornida(x, movie_folder="tests/desktop/pages", files=[...]) as app:
            app.wait_for("window.vornidaReady === true")
            app.execute("return document.title")
            app.run_async("vornidaInvoke('OpenAddPhotosDlg')")   # do not wait for it
            app.answer_file_dialog("/path/to/photo.jpg")
            app.screenshot("/tmp/main.png")
        print(app.exit_status, app.shell_log())

XServer starts its own Xvfb (no window manager) and gives its DISPLAY.
Vornida starts WebKitWebDriver, which starts vornida --automation with the
given movie folder, in fresh HOME, TMPDIR and XDG folders of its own, with
the shell's requests recorded to a file instead of carried out. The W3C
WebDriver protocol is spoken directly over HTTP (no client library).
Native windows (dialogs, message boxes, menus, the wizard) are found and
answered with xdotool; screenshots come from ImageMagick's import.
"""
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"  # Debian's, with Pillow and psd-tools


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(condition, timeout, what, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError("timed out waiting for " + what)
        time.sleep(interval)


class XServer:
    """A private Xvfb; `env` holds its DISPLAY."""

    def __init__(self, width=1280, height=800, depth=24):
        self.size = (width, height)
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx%d" % (width, height, depth),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        self.env = dict(os.environ, DISPLAY=self.display)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)

    def run(self, *command, check=True):
        result = subprocess.run(command, env=self.env, capture_output=True, text=True)
        if check and result.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(command), result.stderr.strip()))
        return result.stdout

    # --- windows ---

    def windows(self, name):
        """Ids of the mapped windows whose name matches the regular expression."""
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], env=self.env,
                             capture_output=True, text=True).stdout
        return [int(line) for line in out.split()]

    def wait_window(self, name, timeout=20):
        return wait_until(lambda: self.windows(name), timeout, "a window named " + name)[-1]

    def wait_no_window(self, name, timeout=20):
        wait_until(lambda: not self.windows(name), timeout, "no window named " + name)

    def geometry(self, window):
        """(x, y, width, height) of a window on the screen."""
        out = self.run("xwininfo", "-id", str(window))
        values = {}
        for line in out.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    values[key] = int(line.split(":")[1])
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"], values["Width"],
                values["Height"])

    def is_viewable(self, window):
        return "Map State: IsViewable" in self.run("xwininfo", "-id", str(window), check=False)

    def key(self, window, *keys):
        """Gives `window` the keyboard focus and types keys into it (XTEST, as a keyboard would)."""
        self.run("xdotool", "windowfocus", "--sync", str(window))
        self.run("xdotool", "key", "--clearmodifiers", *keys)

    def press(self, *keys):
        """Keys to whatever has the keyboard (a menu with its grab, say)."""
        self.run("xdotool", "key", "--clearmodifiers", *keys)

    def type_text(self, window, text):
        self.run("xdotool", "windowfocus", "--sync", str(window))
        self.run("xdotool", "type", "--clearmodifiers", "--delay", "5", text)

    def click(self, x, y):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", "1")

    def screenshot(self, path):
        self.run("import", "-window", "root", path)
        return path

    def pixels(self, png, points):
        """(r, g, b) of each (x, y) of a screenshot, read in one go."""
        out = subprocess.run([PYTHON, "-c", "import json, sys; from PIL import Image; "
                              "image = Image.open(sys.argv[1]).convert('RGB'); "
                              "print(json.dumps([image.getpixel(tuple(p)) for p in json.loads(sys.argv[2])]))",
                              png, json.dumps([list(p) for p in points])],
                             capture_output=True, text=True, check=True).stdout
        return [tuple(colour) for colour in json.loads(out)]

    def pixel(self, png, x, y):
        """(r, g, b) of one pixel of a screenshot (through Debian's Pillow)."""
        out = subprocess.run([PYTHON, "-c", "import sys; from PIL import Image; "
                              "print(*Image.open(sys.argv[1]).convert('RGB').getpixel((int(sys.argv[2]), "
                              "int(sys.argv[3]))))", png, str(x), str(y)],
                             capture_output=True, text=True, check=True).stdout
        return tuple(int(v) for v in out.split())


class WebDriverError(RuntimeError):
    pass


class Vornida:
    """The real vornida started by WebKitWebDriver with --automation."""

    def __init__(self, x, movie_folder, files=(), args=(), binary=None, env=None, lang="en_US.UTF-8",
                 scratch=None):
        self.x = x
        self.binary = binary or os.environ.get("VORNIDA_BINARY")
        if not self.binary:
            raise RuntimeError("set VORNIDA_BINARY or pass binary=")
        self._status = None
        self.session = None
        self.own_scratch = scratch is None
        self.scratch = scratch or tempfile.mkdtemp(prefix="vornida-desktop-")
        for sub in ("home", "tmp", "data", "config", "cache"):
            os.makedirs(os.path.join(self.scratch, sub), exist_ok=True)
        self.shell_log_path = os.path.join(self.scratch, "shell.log")
        self.status_path = os.path.join(self.scratch, "exit-status")
        self.env = dict(x.env, HOME=self.path("home"), TMPDIR=self.path("tmp"), XDG_DATA_HOME=self.path("data"),
                        XDG_CONFIG_HOME=self.path("config"), XDG_CACHE_HOME=self.path("cache"), LANG=lang,
                        LC_ALL="", NO_AT_BRIDGE="1", GTK_USE_PORTAL="0")
        self.env.pop("LC_ALL")
        self.env.update(env or {})
        self.port = free_port()
        self.driver = subprocess.Popen(["WebKitWebDriver", "--port=%d" % self.port], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(self._driver_up, 20, "WebKitWebDriver")
        launcher_args = [self.status_path, self.binary, "--automation", "--movie-folder", movie_folder,
                         "--shell-log", self.shell_log_path, *args, *files]
        caps = {"capabilities": {"alwaysMatch": {"webkitgtk:browserOptions": {
            "binary": os.path.join(HERE, "launch_recorded.py"), "args": launcher_args}}}}
        answer = self._request("POST", "/session", caps, timeout=60)
        self.session = answer["sessionId"]

    def path(self, *parts):
        return os.path.join(self.scratch, *parts)

    @property
    def temp_folder(self):
        """The program's temporary folder (thumbnails, preview, text shape)."""
        return os.path.join(self.path("tmp"), "vornida-%d" % os.getuid(), "Vornida")

    def _driver_up(self):
        try:
            self._request("GET", "/status", timeout=2, session=False)
            return True
        except (OSError, WebDriverError):
            return False

    def _request(self, method, path, body=None, timeout=30, session=False):
        url = "http://127.0.0.1:%d%s" % (self.port, path)
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(url, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=timeout) as response:
                value = json.loads(response.read() or b"{}")
        except urllib.error.HTTPError as error:
            detail = error.read().decode(errors="replace")
            raise WebDriverError("%s %s: %s %s" % (method, path, error.code, detail)) from None
        return value.get("value", value)

    def _session(self, method, path, body=None, timeout=30):
        return self._request(method, "/session/%s%s" % (self.session, path), body, timeout)

    # --- the page ---

    def execute(self, script, *args, timeout=30):
        """Runs `script` (a function body) in the page and gives its result."""
        return self._session("POST", "/execute/sync", {"script": script, "args": list(args)}, timeout)

    def execute_async(self, script, *args, timeout=60):
        """Runs `script`, which ends by calling arguments[arguments.length - 1](result)."""
        self._session("POST", "/timeouts", {"script": int(timeout * 1000)})
        return self._session("POST", "/execute/async", {"script": script, "args": list(args)}, timeout + 5)

    def call(self, expression, timeout=60):
        """Awaits a promise-valued expression in the page and gives its value."""
        return self.execute_async(
            "const done = arguments[arguments.length - 1];"
            "Promise.resolve(" + expression + ").then((v) => done({ok: v}), (e) => done({error: String(e)}));",
            timeout=timeout)

    def run_async(self, expression, delay_ms=0):
        """Starts an expression in the page without waiting for it (for calls that open a modal dialog).
        Give calls that end the program a delay, so that this request is answered before it goes."""
        self.execute("setTimeout(() => { window.vornidaLastRun = Promise.resolve(" + expression +
                     ").then((v) => { window.vornidaLastResult = v; }); }, %d); return true;" % delay_ms)

    def element(self, css, timeout=10):
        """The WebDriver reference of the first element matching `css` (waits for it)."""
        def found():
            try:
                answer = self._session("POST", "/element", {"using": "css selector", "value": css})
            except WebDriverError:
                return None
            return next(iter(answer.values()), None)
        return wait_until(found, timeout, "an element " + css, 0.1)

    def click(self, css, timeout=10):
        """Clicks an element as WebDriver does: scrolled into view, then a real pointer click at its centre."""
        self._session("POST", "/element/%s/click" % self.element(css, timeout), {})

    def type_into(self, css, text):
        """Replaces a field's text as a person does, all through X: a pointer click into it, then
        Ctrl+A, the text, and Tab to leave the field, which commits it. (WebKitWebDriver's own
        element clear and key chords leave number fields as they were.)"""
        self.element(css)
        self.wait_for("(() => { const e = document.querySelector(%s); return e && e.getClientRects().length > 0 "
                      "&& !e.disabled; })()" % json.dumps(css), 10)
        left, top, width, height = self.execute(
            "const e = document.querySelector(arguments[0]); e.scrollIntoView({block: 'center'});"
            "const r = e.getBoundingClientRect(); return [r.left, r.top, r.width, r.height];", css)
        window = self.main_window()
        x0, y0 = self.x.geometry(window)[:2]
        # Without a window manager nobody gives the window back the keyboard after a dialog.
        self.x.run("xdotool", "windowfocus", "--sync", str(window))
        self.x.click(int(x0 + left + width / 2), int(y0 + top + height / 2))
        time.sleep(0.1)
        self.x.press("ctrl+a")
        self.x.run("xdotool", "type", "--clearmodifiers", "--delay", "60", text)
        # Keys reach the page a moment after XTEST sent them; leave the field only once all have.
        try:
            self.wait_for("document.querySelector(%s).value === %s" % (json.dumps(css), json.dumps(text)), 5)
        except TimeoutError:
            pass  # the caller's check names what arrived
        self.x.press("Tab")

    def wait_for(self, expression, timeout=30):
        """Waits until a page expression is true; gives its value."""
        return wait_until(lambda: self.execute("return (" + expression + ");"), timeout, expression, 0.1)

    # --- native windows ---

    def main_window(self, timeout=20):
        """The main window: the largest window named Vornida (after a drop GTK keeps a 1 x 1
        helper window of the same name at -99, -99; message boxes are smaller too)."""
        def largest():
            windows = self.x.windows("^Vornida$")
            sizes = {w: self.x.geometry(w) for w in windows}
            return max(windows, key=lambda w: sizes[w][2] * sizes[w][3]) if windows else None
        return wait_until(largest, timeout, "the main window")

    def answer_file_dialog(self, path, title=".", timeout=20, shoot=None):
        """Types a path into the file dialog that is open (Ctrl+L, the path, Enter).
        `shoot(dialog)`, when given, is called once the dialog has settled (for a screenshot)."""
        dialog = self.x.wait_window(title, timeout)
        wait_until(lambda: self._is_dialog(dialog), timeout, "the file dialog")
        time.sleep(0.3)  # the dialog takes keys once it has settled
        if shoot:
            time.sleep(0.5)
            shoot(dialog)
        self.x.key(dialog, "ctrl+l")
        time.sleep(0.2)
        # A save dialog may offer a name already (the project's); the path replaces all of it.
        self.x.key(dialog, "ctrl+a")
        self.x.type_text(dialog, path)
        time.sleep(0.2)
        self.x.key(dialog, "Return")
        return dialog

    def _is_dialog(self, window):
        return self.x.is_viewable(window)

    def screenshot(self, path):
        return self.x.screenshot(path)

    def shell_log(self):
        try:
            with open(self.shell_log_path) as log:
                return log.read().splitlines()
        except FileNotFoundError:
            return []

    # --- the end ---

    @property
    def pid(self):
        """vornida's process id."""
        return wait_until(lambda: self._read_pid(), 20, "vornida's process id")

    def _read_pid(self):
        try:
            with open(self.status_path + ".pid") as pid:
                return int(pid.read().strip())
        except (FileNotFoundError, ValueError):
            return None

    def terminate(self):
        """Sends SIGTERM to vornida, as the session's end does."""
        os.kill(self.pid, signal.SIGTERM)

    def wait_exit(self, timeout=30):
        """Waits for vornida to end; gives its exit status."""
        wait_until(lambda: os.path.exists(self.status_path), timeout, "vornida to exit")
        with open(self.status_path) as status:
            return int(status.read().strip())

    @property
    def exit_status(self):
        """How vornida ended (kept after the scratch folder went); None while it runs."""
        if self._status is None and os.path.exists(self.status_path):
            with open(self.status_path) as status:
                self._status = int(status.read().strip())
        return self._status

    def close(self):
        """Ends vornida (SIGTERM unless it has ended already), the session and the driver."""
        if self.exit_status is None and self._read_pid() is not None:
            try:
                self.terminate()
                self.wait_exit(30)
            except (OSError, TimeoutError):
                pass
        if self.session:
            try:
                self._request("DELETE", "/session/" + self.session, timeout=20)
            except (OSError, WebDriverError):
                pass
            self.session = None
        if self.driver.poll() is None:
            self.driver.send_signal(signal.SIGTERM)
            try:
                self.driver.wait(10)
            except subprocess.TimeoutExpired:
                self.driver.kill()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        self.exit_status  # read before the folder goes
        if self.own_scratch and not os.environ.get("VORNIDA_KEEP_SCRATCH"):
            shutil.rmtree(self.scratch, ignore_errors=True)


def drop_files(x, files):
    """Drags `files` from a small drag source window (drag_source.py) onto the middle of the screen."""
    source = subprocess.Popen([PYTHON, os.path.join(HERE, "drag_source.py"), "900", "500", *files],
                              env=x.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        x.wait_window("^Vornida drag source$")
        time.sleep(0.5)
        x.run("xdotool", "mousemove", "--sync", "1000", "550", "mousedown", "1")
        for step in range(1, 16):
            x.run("xdotool", "mousemove", "--sync", str(1000 - step * 25), str(550 - step * 10))
            time.sleep(0.05)
        time.sleep(0.3)
        x.run("xdotool", "mouseup", "1")
    finally:
        time.sleep(0.5)
        source.terminate()
        source.wait(10)


def start_plain(x, binary, args=(), scratch=None):
    """vornida without WebDriver (for start-up failures). Gives (process, scratch, env)."""
    scratch = scratch or tempfile.mkdtemp(prefix="vornida-desktop-")
    for sub in ("home", "tmp", "data", "config"):
        os.makedirs(os.path.join(scratch, sub), exist_ok=True)
    env = dict(x.env, HOME=os.path.join(scratch, "home"), TMPDIR=os.path.join(scratch, "tmp"),
               XDG_DATA_HOME=os.path.join(scratch, "data"), XDG_CONFIG_HOME=os.path.join(scratch, "config"),
               NO_AT_BRIDGE="1")
    process = subprocess.Popen([binary, *args], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return process, scratch, env


if __name__ == "__main__":
    sys.exit("a module for the desktop tests; see its docstring")
