#!/usr/bin/python3
"""Installs Vornida the ways a user gets it and checks it with the desktop's own tools.

usage: install_test.py GROUP --build DIR --source DIR --version V --desktop 0|1

GROUP is one of
  prefix    cmake --install into a scratch prefix: the layout, the validators
            (desktop-file-validate, appstreamcli, shared-mime-info through
            xdg-mime, groff and lexgrog for the manual pages), vornida-collage
            --demo run from there without opening a file of the source or
            build tree, and the program folder found from the executable
  desktop   the desktop program vornida started from that prefix under Xvfb:
            its window shows, drawn from the installed movie
  package   the Debian package made by cpack: its name, control fields and
            contents, lintian, and (as root) dpkg -i, a run from /usr/bin and
            the system's menus and file types, then dpkg --purge

--desktop 1 says the build has the desktop program. The exit status is 77
when every check of the group had to be skipped.
"""
import argparse
import fcntl
import glob
import gzip
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import Image

APP_ID = "example.vornida.Vornida"
PROJECT_TYPE = "application/x-vornida-project"
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256, 512)
MANUALS = ("vornida", "vornida-collage", "vornida-headless")
ARGS = None


def run(command, ok=True, **kwargs):
    """Runs a command, capturing its output as text; fails the test on a bad status."""
    kwargs.setdefault("timeout", 300)
    result = subprocess.run(command, capture_output=True, text=True, **kwargs)
    if ok and result.returncode != 0:
        raise AssertionError("%s failed (%d)\n%s%s" % (" ".join(command), result.returncode,
                                                        result.stdout, result.stderr))
    return result


def desktop_env(data_dirs, **extra):
    """The environment of a GNOME session whose data folders are `data_dirs`."""
    env = dict(os.environ, XDG_CURRENT_DESKTOP="GNOME", XDG_DATA_DIRS=":".join(data_dirs))
    env.update(extra)
    return env


def files_opened(trace_path):
    """Every path a traced program tried to reach (strace -e trace=file)."""
    paths = set()
    with open(trace_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            paths.update(os.path.normpath(p) for p in re.findall(r'"(/[^"]*)"', line))
    return paths


def trees_of_the_build():
    return [os.path.realpath(ARGS.source) + "/", os.path.realpath(ARGS.build) + "/"]


def inside_build_trees(paths):
    """The paths of `paths` that lie in the source or build tree."""
    return sorted({p for p in paths for tree in trees_of_the_build() if (p + "/").startswith(tree)})


def assert_collage_png(test, path, size):
    with Image.open(path) as picture:
        test.assertEqual(picture.format, "PNG")
        test.assertEqual(picture.size, size)
        colours = picture.convert("RGB").getcolors(1 << 24)
    test.assertGreater(len(colours), 1000, "the collage should show the photos, not a plain canvas")


def make_project(prefix, folder):
    """A real project file, written by the installed vornida-collage."""
    project = os.path.join(folder, "trip.vrn")
    run([prefix + "/bin/vornida-collage", "-q", "--seed", "4", "--count", "6", "--size", "320x240",
         prefix + "/share/vornida/demo-photos", "--save-project", project,
         "-o", os.path.join(folder, "trip.png")])
    return project


class PrefixInstall(unittest.TestCase):
    """cmake --install into a scratch prefix, and what a user meets there."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="vornida-install-")
        cls.prefix = os.path.join(cls.scratch, "prefix")
        run(["cmake", "--install", ARGS.build, "--prefix", cls.prefix])
        cls.share = cls.prefix + "/share"
        # What a desktop's package manager does after installing into a prefix.
        run(["update-mime-database", cls.share + "/mime"])
        run(["update-desktop-database", cls.share + "/applications"])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def work_folder(self, name):
        folder = os.path.join(self.scratch, name)
        os.makedirs(folder, exist_ok=True)
        return folder

    def test_layout(self):
        wanted = ["bin/vornida-collage", "bin/vornida-headless",
                  "share/vornida/TBgBrush.png", "share/vornida/wizard-header.png",
                  "share/vornida/wizard-header@2x.png",
                  "share/applications/%s.desktop" % APP_ID,
                  "share/metainfo/%s.metainfo.xml" % APP_ID,
                  "share/mime/packages/%s.xml" % APP_ID,
                  "share/icons/hicolor/scalable/apps/%s.svg" % APP_ID,
                  "share/doc/vornida/copyright", "share/doc/vornida/changelog.gz"]
        wanted += ["share/man/man1/%s.1.gz" % page for page in MANUALS]
        wanted += ["share/icons/hicolor/%dx%d/apps/%s.png" % (n, n, APP_ID) for n in ICON_SIZES]
        if ARGS.desktop:
            wanted.append("bin/vornida")
        movie = os.path.join(ARGS.source, "movie")
        if os.path.isdir(movie):
            wanted += ["share/vornida/movie/main.html", "share/vornida/movie/splash.html",
                       "share/vornida/movie/strings/en.json"]
        for path in wanted:
            self.assertTrue(os.path.isfile(os.path.join(self.prefix, path)), path + " is not installed")
        for binary in glob.glob(self.prefix + "/bin/*"):
            self.assertTrue(os.access(binary, os.X_OK), binary)
        photos = glob.glob(self.share + "/vornida/demo-photos/*.jpg")
        self.assertEqual(len(photos), 12)
        tests = glob.glob(self.share + "/vornida/movie/**/*.test.*js", recursive=True)
        self.assertEqual(tests, [], "the movie's tests are not part of the program")

    def test_icons_have_the_size_their_folder_names(self):
        for n in ICON_SIZES:
            with Image.open("%s/icons/hicolor/%dx%d/apps/%s.png" % (self.share, n, n, APP_ID)) as icon:
                self.assertEqual(icon.size, (n, n))
                self.assertIn(icon.mode, ("RGBA", "LA", "P"), "an application icon needs transparency")

    def test_desktop_entry(self):
        path = "%s/applications/%s.desktop" % (self.share, APP_ID)
        result = run(["desktop-file-validate", path])
        self.assertEqual(result.stdout + result.stderr, "")
        entry = dict(line.split("=", 1) for line in open(path, encoding="utf-8")
                     if "=" in line and not line.startswith("#"))
        self.assertEqual(entry["Exec"].strip(), "vornida %F")
        self.assertEqual(entry["Icon"].strip(), APP_ID)
        self.assertIn("Graphics", entry["Categories"].split(";"))
        types = [t for t in entry["MimeType"].strip().split(";") if t]
        self.assertIn(PROJECT_TYPE, types)
        # Every type it claims must be one the MIME database knows (a typo
        # would silently leave Vornida out of "Open With").
        known = set()
        for folder in (self.share + "/mime", "/usr/share/mime"):
            with open(folder + "/types", encoding="utf-8") as f:
                known.update(line.strip() for line in f)
            with open(folder + "/aliases", encoding="utf-8") as f:
                known.update(line.split()[0] for line in f if line.strip())
        self.assertEqual([t for t in types if t not in known], [])

    def test_metainfo(self):
        path = "%s/metainfo/%s.metainfo.xml" % (self.share, APP_ID)
        result = run(["appstreamcli", "validate", "--no-net", "--explain", path], ok=False)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        text = open(path, encoding="utf-8").read()
        self.assertIn('<release version="%s"' % ARGS.version, text)
        self.assertIn("<launchable type=\"desktop-id\">%s.desktop</launchable>" % APP_ID, text)
        self.assertIn("<mediatype>%s</mediatype>" % PROJECT_TYPE, text)
        # The screenshots are published from packaging/screenshots; each must
        # be there, at the size the metainfo gives.
        shots = re.findall(r'<image type="source" width="(\d+)" height="(\d+)">'
                           r'https://vornida.example/screenshots/([^<]+)</image>', text)
        self.assertTrue(shots)
        for width, height, name in shots:
            with Image.open(os.path.join(ARGS.source, "packaging/screenshots", name)) as shot:
                self.assertEqual(shot.size, (int(width), int(height)), name)

    def test_projects_are_a_file_type_that_opens_vornida(self):
        folder = self.work_folder("types")
        project = make_project(self.prefix, folder)
        without_extension = os.path.join(folder, "Trip")
        shutil.copyfile(project, without_extension)
        other_xml = os.path.join(folder, "notes.xml")
        with open(other_xml, "w", encoding="utf-8") as f:
            f.write('<?xml version="1.0"?>\n<notes/>\n')
        env = desktop_env([self.share, "/usr/share"])
        for path, wanted in ((project, PROJECT_TYPE), (without_extension, PROJECT_TYPE),
                             (other_xml, "application/xml")):
            got = run(["xdg-mime", "query", "filetype", path], env=env).stdout.strip()
            self.assertEqual(got, wanted, os.path.basename(path))
        default = run(["xdg-mime", "query", "default", PROJECT_TYPE], env=env).stdout.strip()
        self.assertEqual(default, APP_ID + ".desktop")
        # Without our database the same file is plain XML: the type comes
        # from what was installed, not from the name alone.
        plain = run(["xdg-mime", "query", "filetype", project], env=desktop_env(["/usr/share"])).stdout.strip()
        self.assertNotEqual(plain, PROJECT_TYPE)

    def test_manual_pages(self):
        collage_help = run([self.prefix + "/bin/vornida-collage", "--help"]).stdout
        for page in MANUALS:
            path = "%s/man/man1/%s.1.gz" % (self.share, page)
            with gzip.open(path, "rt", encoding="utf-8") as f:
                source = f.read()
            self.assertIn('"Vornida %s"' % ARGS.version, source.splitlines()[0])
            # groff's own warnings (bad macros, unknown escapes) must be none.
            groff = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z"], input=source,
                                   capture_output=True, text=True)
            self.assertEqual((groff.returncode, groff.stderr), (0, ""), page)
            whatis = run(["lexgrog", path]).stdout
            self.assertRegex(whatis, r'\.1\.gz: "%s - \S' % re.escape(page))
            found = run(["man", "-M", self.share + "/man", "-w", page]).stdout.strip()
            self.assertEqual(found, path)
            rendered = run(["man", "-l", "-Tutf8", path], env=dict(os.environ, MANWIDTH="200")).stdout
            # Plain text: no overstrike bold or underline, ASCII hyphens.
            rendered = re.sub(".\b", "", rendered).replace("\u2010", "-").replace("\u2212", "-")
            self.assertIn("SYNOPSIS", rendered)
            if page == "vornida-collage":
                # The page documents every option --help lists.
                for option in sorted(set(re.findall(r"(?<![\w-])(--?[a-z][a-z-]*)", collage_help))):
                    self.assertTrue(option in rendered, "vornida-collage.1 lacks " + option)

    def test_demo_runs_from_the_prefix_without_the_build_tree(self):
        folder = self.work_folder("demo")
        trace = os.path.join(folder, "trace.txt")
        run(["strace", "-f", "--seccomp-bpf", "-qq", "-e", "trace=file", "-o", trace,
             self.prefix + "/bin/vornida-collage", "-q", "--demo", "--seed", "5", "-o", "demo.png"], cwd=folder)
        assert_collage_png(self, os.path.join(folder, "demo.png"), (1600, 1200))
        opened = files_opened(trace)
        self.assertEqual(inside_build_trees(opened), [])
        photos = os.path.realpath(self.share + "/vornida/demo-photos")
        self.assertTrue(any(p.startswith(photos + "/") for p in opened), "the demo photos came from elsewhere")

    def test_versions_agree(self):
        self.assertEqual(run([self.prefix + "/bin/vornida-collage", "--version"]).stdout,
                         "vornida-collage %s\n" % ARGS.version)
        answer = run([self.prefix + "/bin/vornida-headless"],
                     input='<invoke name="GetVerText" returntype="xml"><arguments></arguments></invoke>\n',
                     env=dict(os.environ, TMPDIR=self.work_folder("tmp"))).stdout
        self.assertEqual(answer, "answer: <string>%s</string>\n" % ARGS.version)
        with gzip.open(self.share + "/doc/vornida/changelog.gz", "rt", encoding="utf-8") as f:
            self.assertEqual(f.readline(), "vornida (%s) unstable; urgency=medium\n" % ARGS.version)
        # The page's own version (what the splash shows and the upgrade check
        # sends) is written by the build from the same number.
        version_js = self.share + "/vornida/movie/js/version.js"
        if os.path.isdir(os.path.join(ARGS.source, "movie")):
            with open(version_js, encoding="utf-8") as f:
                self.assertIn("export const MOVIE_VERSION = '%s';" % ARGS.version, f.read())
            self.assertFalse(os.path.exists(version_js + ".in"), "the template is not part of the program")

    def test_program_folder_is_found_from_the_executable(self):
        program_folder = '<invoke name="GetAppPath" returntype="xml"><arguments></arguments></invoke>\n'

        def app_path(binary):
            out = run([binary], input=program_folder, env=dict(os.environ, TMPDIR=self.work_folder("tmp"))).stdout
            return re.fullmatch(r"answer: <string>(.*)</string>\n", out).group(1)

        # A moved prefix still finds its own folder; so does a link to the program.
        moved = os.path.join(self.scratch, "moved")
        shutil.copytree(self.prefix, moved, symlinks=True)
        self.assertEqual(app_path(moved + "/bin/vornida-headless"), moved + "/share/vornida")
        links = self.work_folder("links")
        os.symlink(moved + "/bin/vornida-collage", links + "/vornida-collage")
        demo = os.path.join(links, "demo.png")
        run([links + "/vornida-collage", "-q", "--demo", "--count", "12", "--size", "400x300", "-o", demo])
        assert_collage_png(self, demo, (400, 300))

        # Incomplete installations fail with the folder they looked in.
        shutil.rmtree(moved + "/share/vornida/demo-photos")
        result = run([moved + "/bin/vornida-collage", "--demo", "-o", demo], ok=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("demo-photos is missing from Vornida's program folder %s/share/vornida" % moved, result.stderr)
        shutil.rmtree(moved + "/share/vornida")
        result = run([moved + "/bin/vornida-collage", "--demo", "-o", demo], ok=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("program folder %s/share/vornida is missing" % moved, result.stderr)


def descendants(pid):
    """The processes below `pid`, however deep (helpers the program started)."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    parents[int(entry)] = int(f.read().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                pass
    found, frontier = [], [pid]
    while frontier:
        children = [child for child, parent in parents.items() if parent in frontier]
        found += children
        frontier = children
    return found


def end_traced(tracer):
    """Ends the program strace runs, with every helper it started (strace
    itself ignores SIGTERM while it traces a command it started, and waits for
    all of them), so that the trace is complete."""
    for signal_number in (signal.SIGTERM, signal.SIGKILL):
        for pid in descendants(tracer.pid):
            try:
                os.kill(pid, signal_number)
            except ProcessLookupError:
                pass
        try:
            tracer.wait(30)
            return
        except subprocess.TimeoutExpired:
            pass


class DesktopProgram(unittest.TestCase):
    """The desktop program from the scratch prefix, under Xvfb."""

    def setUp(self):
        if not ARGS.desktop:
            self.skipTest("this build has no desktop program (target vornida in src/tools/vornida); "
                          "build it to check that the installed vornida starts")
        self.scratch = tempfile.mkdtemp(prefix="vornida-desktop-")
        self.prefix = os.path.join(self.scratch, "prefix")
        run(["cmake", "--install", ARGS.build, "--prefix", self.prefix])
        self.processes = []

    def tearDown(self):
        for process in reversed(getattr(self, "processes", [])):
            if process.poll() is None and process.args[0] == "strace":
                end_traced(process)
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
        if hasattr(self, "scratch"):
            shutil.rmtree(self.scratch, ignore_errors=True)

    def start_display(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x1000x24", "-nolisten",
                                 "tcp"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)
        self.processes.append(xvfb)
        os.close(write_end)
        with os.fdopen(read_end) as f:
            return ":" + f.readline().strip()

    def test_installed_program_shows_its_window_from_the_installed_movie(self):
        display = self.start_display()
        home = os.path.join(self.scratch, "home")
        for sub in ("config", "data", "tmp"):
            os.makedirs(os.path.join(home, sub))
        env = dict(os.environ, DISPLAY=display, HOME=home, XDG_CONFIG_HOME=home + "/config",
                   XDG_DATA_HOME=home + "/data", TMPDIR=home + "/tmp", LANG="C.UTF-8",
                   PATH=self.prefix + "/bin:" + os.environ.get("PATH", ""))
        env.pop("WAYLAND_DISPLAY", None)
        # A session bus of our own, outside the trace: otherwise one is
        # launched on demand and lives, traced, until the display goes. No
        # accessibility bus either, for the same reason.
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"], env=env,
                               stdout=subprocess.PIPE, text=True)
        self.processes.append(bus)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        env["NO_AT_BRIDGE"] = "1"
        trace = os.path.join(self.scratch, "trace.txt")
        program = subprocess.Popen(
            ["strace", "-f", "--seccomp-bpf", "-qq", "-e", "trace=file", "-o", trace, "vornida"],
            env=env, cwd=self.scratch, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.processes.append(program)
        window = None
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and window is None:
            found = run(["xdotool", "search", "--onlyvisible", "--name", "^Vornida$"], ok=False, env=env)
            window = found.stdout.split()[0] if found.returncode == 0 and found.stdout.split() else None
            if program.poll() is not None:
                self.fail("vornida ended early (%d): %s" % (program.returncode, program.stderr.read()))
            time.sleep(0.5)
        self.assertIsNotNone(window, "no visible window named Vornida within 60 s")
        time.sleep(3)  # let the movie draw
        geometry = run(["xdotool", "getwindowgeometry", "--shell", window], env=env).stdout
        size = dict(line.split("=") for line in geometry.split())
        self.assertGreater(int(size["WIDTH"]), 400)
        self.assertGreater(int(size["HEIGHT"]), 300)
        # The desktop matches the window with its entry through WM_CLASS.
        wm_class = run(["xprop", "-display", display, "-id", window, "WM_CLASS"], env=env).stdout
        entry = dict(line.rstrip("\n").split("=", 1) for line in open(
            "%s/share/applications/%s.desktop" % (self.prefix, APP_ID), encoding="utf-8") if "=" in line)
        self.assertEqual(re.findall(r'"([^"]*)"', wm_class), [entry["StartupWMClass"]] * 2, wm_class)
        shot = os.path.join(self.scratch, "window.png")
        run(["import", "-display", display, "-window", window, shot], env=env)
        with Image.open(shot) as picture:
            colours = picture.convert("RGB").getcolors(1 << 24)
        self.assertGreater(len(colours), 20, "the window shows no user interface")
        end_traced(program)
        opened = files_opened(trace)
        self.assertEqual(inside_build_trees(opened), [])
        movie = os.path.realpath(self.prefix + "/share/vornida/movie/main.html")
        self.assertTrue(movie in opened, "the main movie was not read from " + movie)


def dpkg(*args):
    """dpkg, waiting while another package run holds its lock."""
    deadline = time.monotonic() + 300
    while True:
        result = run(["dpkg"] + list(args), ok=False)
        if result.returncode == 0 or "lock" not in result.stderr or time.monotonic() > deadline:
            break
        time.sleep(2)
    if result.returncode != 0:
        raise AssertionError("dpkg %s failed\n%s%s" % (" ".join(args), result.stdout, result.stderr))
    return result


class DebianPackage(unittest.TestCase):
    """The package cpack makes, checked and installed on this machine."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="vornida-package-")
        run(["cpack", "--config", os.path.join(ARGS.build, "CPackConfig.cmake"), "-B", cls.scratch])
        cls.deb = os.path.join(cls.scratch, "vornida_%s_amd64.deb" % ARGS.version)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch, ignore_errors=True)

    def field(self, name):
        return run(["dpkg-deb", "--field", self.deb, name]).stdout.strip()

    def test_control_fields(self):
        self.assertTrue(os.path.isfile(self.deb), os.listdir(self.scratch))
        self.assertEqual(self.field("Package"), "vornida")
        self.assertEqual(self.field("Version"), ARGS.version)
        self.assertEqual(self.field("Architecture"), "amd64")
        depends = [d.split()[0] for d in self.field("Depends").split(", ")]
        # Computed from the binaries: the C library and the imaging library
        # every program links, WebKitGTK when the desktop program is in.
        for package in ["libc6", "libvips42", "libjpeg62-turbo", "libcurl4"] + (
                ["libwebkit2gtk-4.1-0", "libgtk-3-0", "libglib2.0-0", "libcairo2"] if ARGS.desktop else []):
            self.assertIn(package, depends)

    def test_contents_are_the_installed_layout(self):
        listing = run(["dpkg-deb", "--contents", self.deb]).stdout
        paths = [line.split()[-1] for line in listing.splitlines()]
        self.assertEqual([p for p in paths if not p.startswith("./usr/")], ["./"] if "./" in paths else [])
        for path in ["./usr/bin/vornida-collage", "./usr/bin/vornida-headless",
                     "./usr/share/vornida/TBgBrush.png", "./usr/share/vornida/demo-photos/dune.jpg",
                     "./usr/share/applications/%s.desktop" % APP_ID,
                     "./usr/share/metainfo/%s.metainfo.xml" % APP_ID,
                     "./usr/share/mime/packages/%s.xml" % APP_ID,
                     "./usr/share/icons/hicolor/scalable/apps/%s.svg" % APP_ID,
                     "./usr/share/icons/hicolor/48x48/apps/%s.png" % APP_ID,
                     "./usr/share/man/man1/vornida.1.gz", "./usr/share/man/man1/vornida-collage.1.gz",
                     "./usr/share/doc/vornida/copyright", "./usr/share/doc/vornida/changelog.gz"] + (
                         ["./usr/bin/vornida", "./usr/share/vornida/movie/main.html"] if ARGS.desktop else []):
            self.assertIn(path, paths)
        # The caches belong to the system's own packages (their triggers
        # rebuild them); a package that shipped them would clash.
        self.assertEqual([p for p in paths if p.endswith(("mime.cache", "mimeinfo.cache", "icon-theme.cache"))], [])

    def test_lintian_finds_no_errors(self):
        result = run(["lintian", "--pedantic", "--display-info", self.deb], ok=False)
        tags = [line for line in result.stdout.splitlines() if re.match(r"[EWIPX]: ", line)]
        sys.stderr.write("lintian:\n  " + "\n  ".join(tags or ["(nothing)"]) + "\n")
        self.assertEqual([t for t in tags if t.startswith("E: ")], [])
        self.assertNotIn("unstripped-binary-or-object", result.stdout)

    def test_installs_and_runs_from_usr_bin(self):
        if os.geteuid() != 0:
            self.skipTest("dpkg -i needs root")
        # The machine has one /usr: another build's test (another worktree or
        # ctest run, which RESOURCE_LOCK does not reach) must not install or
        # purge the package while this one uses it.
        with open("/tmp/vornida-system-package.lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            self.install_and_run()

    def install_and_run(self):
        dpkg("-i", self.deb)
        try:
            folder = os.path.join(self.scratch, "run")
            os.makedirs(folder)
            run(["/usr/bin/vornida-collage", "-q", "--demo", "--seed", "6", "-o", "demo.png"], cwd=folder)
            assert_collage_png(self, os.path.join(folder, "demo.png"), (1600, 1200))
            # The menus and the file manager see it through the system's
            # databases, which dpkg's triggers have rebuilt.
            env = desktop_env(["/usr/local/share", "/usr/share"])
            project = make_project("/usr", folder)
            self.assertEqual(run(["xdg-mime", "query", "filetype", project], env=env).stdout.strip(), PROJECT_TYPE)
            self.assertEqual(run(["xdg-mime", "query", "default", PROJECT_TYPE], env=env).stdout.strip(),
                             APP_ID + ".desktop")
            if ARGS.desktop:
                registered = run(["gio", "mime", PROJECT_TYPE], env=env).stdout
                self.assertIn("Default application for “%s”: %s.desktop" % (PROJECT_TYPE, APP_ID), registered)
            for page in ("vornida", "vornida-collage"):
                self.assertEqual(run(["man", "-w", page]).stdout.strip(), "/usr/share/man/man1/%s.1.gz" % page)
        finally:
            dpkg("--purge", "vornida")
        self.assertFalse(os.path.exists("/usr/bin/vornida-collage"))
        self.assertFalse(os.path.exists("/usr/share/vornida"))


GROUPS = {"prefix": PrefixInstall, "desktop": DesktopProgram, "package": DebianPackage}


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("group", choices=sorted(GROUPS))
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--desktop", type=int, choices=(0, 1), required=True)
    ARGS = parser.parse_args()
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(GROUPS[ARGS.group])
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    if not result.wasSuccessful():
        return 1
    return 77 if len(result.skipped) == result.testsRun else 0


if __name__ == "__main__":
    sys.exit(main())
