#!/usr/bin/python3
"""The update path end to end through vornida-headless and a local server.

usage: headless_update_test.py TEST_COPY SHIPPED_COPY

TEST_COPY is vornida-headless-testkey (trusts the test signing key),
SHIPPED_COPY the vornida-headless that ships (trusts only our key). Each case
plays "CheckUpdate" with prepared wizard presses against a local http or https
server and checks what the wizard showed, what stayed on disk, and the peak
memory of the program. Writes to any one file are capped at 4 MB (RLIMIT_FSIZE)
so that a program that let a body or a gzip bomb through would be killed.
"""
import gzip
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
SIGN = os.path.join(SOURCE, "scripts", "sign-update-manifest.sh")
TEST_KEY = os.path.join(HERE, "keys", "test-update-key.pem")
TEST_COPY, SHIPPED_COPY = sys.argv[1], sys.argv[2]
CHECK_UPDATE = '<invoke name="CheckUpdate" returntype="xml"><arguments></arguments></invoke>'
KEYS = ["UW.Page1.ErrMsg1", "UW.Page3.Msg1", "UW.Page3.Msg2", "UW.Err.BadSignature", "UW.Err.TooLarge",
        "UW.Err.TooSlow", "UW.Err.DiskFull", "UW.Err.Certificate", "UW.Err.NoSignature"]
FILE_SIZE_CAP = 4 << 20
MEMORY_CAP_KB = 100 * 1024


class Server:
    """http_test_server.py on 127.0.0.1, serving a folder."""

    def __init__(self, folder, tls=None):
        args = ["/usr/bin/python3", os.path.join(HERE, "http_test_server.py"), "300", folder]
        if tls:
            args += ["--tls"] + tls
        self.process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.port = int(self.process.stdout.readline())
        self.scheme = "https" if tls else "http"

    def url(self, path):
        return "%s://127.0.0.1:%d%s" % (self.scheme, self.port, path)

    def close(self):
        self.process.stdout.close()
        self.process.stdin.close()
        self.process.terminate()
        self.process.wait()


def sha256(path):
    import hashlib
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class HeadlessUpdateTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="vornida-update-")
        cls.files = os.path.join(cls.root, "files")
        os.makedirs(cls.files)
        with open(os.path.join(cls.files, "setup37.deb"), "wb") as f:
            f.write(b"plain installer")
        with open(os.path.join(cls.files, "big.deb"), "wb") as f:
            f.write(os.urandom(300000))
        cls.strings = os.path.join(cls.root, "strings.json")
        with open(cls.strings, "w") as f:
            json.dump({key: "[%s]" % key for key in KEYS}, f)
        cls.server = Server(cls.files)
        certs = os.path.join(cls.root, "certs")
        os.makedirs(certs)
        key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
        with open(os.path.join(certs, "server.ext"), "w") as f:
            f.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n")
        subprocess.run(
            "openssl req -x509" + key + " -keyout ca.key -out ca.pem -subj '/CN=Vornida Test Authority'"
            " -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign"
            " && openssl req" + key + " -keyout server.key -out server.csr -subj /CN=127.0.0.1"
            " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
            " -extfile server.ext -out server.pem",
            shell=True, cwd=certs, check=True, capture_output=True)
        cls.ca = os.path.join(certs, "ca.pem")
        cls.secure = Server(cls.files, [os.path.join(certs, "server.pem"), os.path.join(certs, "server.key")])

    @classmethod
    def tearDownClass(cls):
        cls.server.close()
        cls.secure.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def publish(self, name, items, curver="3.7"):
        urls = "".join('<Url src="%s" sha256="%s"/>' % (url, digest) for url, digest in items)
        path = os.path.join(self.files, name)
        with open(path, "w") as f:
            f.write('<update curver="%s"><UpdateFile><FileList/></UpdateFile><UpgradeDesc>New</UpgradeDesc>'
                    '<InstallUrl>%s</InstallUrl></update>' % (curver, urls))
        subprocess.run(["bash", SIGN, TEST_KEY, path], check=True)

    def item(self, name, server=None):
        return ((server or self.server).url("/files/" + name), sha256(os.path.join(self.files, name)))

    def play(self, binary, options, presses="next,finish", wrap=None):
        """Runs the console; gives its output, the files left, its peak memory (KB) and its status."""
        run = tempfile.mkdtemp(dir=self.root)
        env = dict(os.environ, no_proxy="127.0.0.1", NO_PROXY="127.0.0.1")
        for name in ("TMPDIR", "XDG_DATA_HOME", "XDG_CONFIG_HOME"):
            env[name] = os.path.join(run, name)
            os.makedirs(env[name])
        script = "wizard %s\n%s\n" % (presses, CHECK_UPDATE)
        command = [binary, "--strings", self.strings, "--movie-version", "3.61"] + options
        if wrap:
            command = wrap(env["XDG_DATA_HOME"]) + command

        def limit_file_size():
            resource.setrlimit(resource.RLIMIT_FSIZE, (FILE_SIZE_CAP, FILE_SIZE_CAP))

        process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   env=env, preexec_fn=limit_file_size)
        process.stdin.write(script.encode())
        process.stdin.close()
        output = process.stdout.read().decode()
        process.stderr.read()
        process.stdout.close()
        process.stderr.close()
        _, status, usage = os.wait4(process.pid, 0)
        process.returncode = status  # reaped here, not by Popen
        left = []
        upgrade = os.path.join(env["XDG_DATA_HOME"], "Vornida", "Upgrade")
        for folder, _, names in os.walk(upgrade):
            left += [os.path.relpath(os.path.join(folder, n), upgrade) for n in names]
        return output, sorted(left), usage.ru_maxrss, status

    def assertShows(self, output, *texts):
        at = 0
        for text in texts:
            found = output.find(text, at)
            self.assertNotEqual(found, -1, "missing %r (in order) in:\n%s" % (text, output))
            at = found + len(text)

    def test_signed_manifest_leads_to_the_installer(self):
        self.publish("update.xml", [self.item("setup37.deb")])
        output, left, _, status = self.play(TEST_COPY, ["--update-url", self.server.url("/files/update.xml")])
        self.assertEqual(status, 0, output)
        self.assertShows(output, "wizard: page 2", "wizard: page 3", "[UW.Page3.Msg2]", "wizard: press finish",
                         "shell: open ", "/Upgrade/Installer/setup37.deb")
        self.assertEqual(left, ["Installer/setup37.deb"])

    def test_shipped_program_trusts_only_our_key(self):
        self.publish("update.xml", [self.item("setup37.deb")])
        output, left, _, _ = self.play(SHIPPED_COPY, ["--update-url", self.server.url("/files/update.xml")])
        self.assertShows(output, "wizard: text 1176 [UW.Err.BadSignature]", "wizard: text 1175 [UW.Page1.ErrMsg1]")
        self.assertNotIn("wizard: page 2", output)
        self.assertEqual(left, [])

    def test_gzip_bombs_and_endless_bodies_stop_at_the_cap(self):
        # 900 MB inflated from 0.9 MB on the wire, 3 GB unannounced, and a
        # body without end: each ends as too large, in little memory, with no
        # file written past the cap and none left behind.
        for path in ("/bomb/900", "/bomb/3000?nolength=1", "/endless"):
            output, left, peak, status = self.play(TEST_COPY, ["--update-url", self.server.url(path)])
            self.assertEqual(status, 0, "%s: %s" % (path, output))
            self.assertShows(output, "wizard: text 1176 [UW.Err.TooLarge]", "[UW.Page1.ErrMsg1]")
            self.assertLess(peak, MEMORY_CAP_KB, path)
            self.assertEqual(left, [], path)

    def test_dripping_and_stalling_servers_end_at_the_floor(self):
        fast = ["--update-speed-floor", "100", "--update-speed-window", "2", "--update-redirect-limit", "1.5"]
        for path in ("/drip", "/stallredirect/0?wait=0.4"):
            output, left, _, _ = self.play(TEST_COPY, fast + ["--update-url", self.server.url(path)])
            self.assertShows(output, "wizard: text 1176 [UW.Err.TooSlow]", "[UW.Page1.ErrMsg1]")
            self.assertEqual(left, [], path)

    def test_https_with_the_given_authority_only(self):
        self.publish("update.xml", [self.item("setup37.deb", self.secure)])
        url = self.secure.url("/files/update.xml")
        output, left, _, _ = self.play(TEST_COPY, ["--update-url", url, "--update-ca", self.ca])
        self.assertShows(output, "wizard: page 3", "[UW.Page3.Msg2]", "shell: open ")
        self.assertEqual(left, ["Installer/setup37.deb"])
        output, left, _, _ = self.play(TEST_COPY, ["--update-url", url])
        self.assertShows(output, "wizard: text 1176 [UW.Err.Certificate]", "[UW.Page1.ErrMsg1]")
        self.assertEqual(left, [])

    def test_full_disk_is_named_and_leaves_nothing(self):
        # The data folder on a 64 KB file system of its own (a private mount
        # namespace), too small for the 300 KB installer.
        probe = subprocess.run(["unshare", "--user", "--map-root-user", "--mount", "true"], capture_output=True)
        if probe.returncode != 0:
            self.skipTest("no private mount namespace here: " + probe.stderr.decode().strip())
        self.publish("update.xml", [self.item("big.deb")])

        listing = []

        def small_disk(data):
            # After the run, the files on the small disk are listed beside it.
            listing.append(os.path.join(os.path.dirname(data), "on-small-disk.txt"))
            return ["unshare", "--user", "--map-root-user", "--mount", "sh", "-c",
                    'mount -t tmpfs -o size=64k tmpfs "$0" || exit 99; "$@"; status=$?; '
                    'find "$0" -type f > "$0/../on-small-disk.txt"; exit $status', data]

        output, _, _, status = self.play(TEST_COPY, ["--update-url", self.server.url("/files/update.xml")],
                                         wrap=small_disk)
        self.assertEqual(status, 0, output)
        self.assertShows(output, "wizard: page 3", "wizard: text 1176 [UW.Err.DiskFull]", "[UW.Page3.Msg1]")
        with open(listing[0]) as f:
            left = f.read().split()
        self.assertEqual(left, [], "no partial installer stays on the full disk")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
