#!/usr/bin/python3
"""Plays one movie script through vornida-headless and compares its output.

usage: run_script.py BINARY SCRIPT [VERSION]

SCRIPT.expected holds the expected standard output. Every run gets fresh
TMPDIR, XDG_DATA_HOME and XDG_CONFIG_HOME folders. In the script and the
expected output these placeholders are replaced first:
  {TMP} {DATA} {CONFIG}   the three folders      {UID}  the user id
  {WORK}                  a scratch folder        {APP}  the program folder
  {TESTDATA}              tests/data of the source tree
  {VERSION}               VERSION, the program version the build was made with
  {STRINGS}               the user interface's English text table
                          (movie/strings/en.json), for --strings
Comment lines of the script may carry directives for this runner (the console
skips them as comments):
  # args: ...                 extra command-line arguments
  # stdin                     feed the script on standard input
  # exit: N                   expected exit status (default 0)
  # stderr: TEXT              standard error must contain TEXT
  # setup-dir: PATH           create a folder before the run
  # setup-file: PATH [TEXT]   create a file before the run
  # setup-copy: SRC DST       copy a file before the run
  # check-same: PATH SRC      after the run PATH must hold the bytes of SRC
  # check-bytes: PATH TEXT    after the run PATH must hold exactly TEXT ("" for none)
  # check-absent: PATH        after the run PATH must not exist
  # check-ini: PATH SECTION KEY VALUE   PATH must hold KEY=VALUE in SECTION
"""
import configparser
import os
import shlex
import shutil
import subprocess
import sys
import tempfile

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def main():
    binary, script_path = sys.argv[1], sys.argv[2]
    version = sys.argv[3] if len(sys.argv) > 3 else "{VERSION}"
    with open(script_path, encoding="utf-8") as f:
        script = f.read()
    with open(script_path.rsplit(".", 1)[0] + ".expected", encoding="utf-8") as f:
        expected = f.read()

    root = tempfile.mkdtemp(prefix="vornida-script-")
    try:
        places = {
            "{TMP}": os.path.join(root, "tmp"),
            "{DATA}": os.path.join(root, "data"),
            "{CONFIG}": os.path.join(root, "config"),
            "{WORK}": os.path.join(root, "work"),
            "{UID}": str(os.getuid()),
            "{APP}": os.path.dirname(os.path.abspath(binary)),
            "{TESTDATA}": os.path.join(SOURCE, "data"),
            "{VERSION}": version,
            "{STRINGS}": os.path.join(os.path.dirname(SOURCE), "movie", "strings", "en.json"),
        }
        for key in ("{TMP}", "{DATA}", "{CONFIG}", "{WORK}"):
            os.makedirs(places[key])

        def fill(text):
            for key, value in places.items():
                text = text.replace(key, value)
            return text

        script, expected = fill(script), fill(expected)
        directives = []
        for line in script.splitlines():
            stripped = line.strip()
            if stripped.startswith("#") and ":" in stripped or stripped == "# stdin":
                body = stripped[1:].strip()
                name, _, value = body.partition(":")
                directives.append((name.strip(), value.strip()))

        args, use_stdin, want_exit, want_stderr, checks = [], False, 0, [], []
        for name, value in directives:
            if name == "args":
                args += shlex.split(value)
            elif name == "stdin":
                use_stdin = True
            elif name == "exit":
                want_exit = int(value)
            elif name == "stderr":
                want_stderr.append(value)
            elif name == "setup-dir":
                os.makedirs(value, exist_ok=True)
            elif name == "setup-file":
                path, _, text = value.partition(" ")
                os.makedirs(os.path.dirname(path), exist_ok=True)
                with open(path, "w", encoding="utf-8") as f:
                    f.write(text)
            elif name == "setup-copy":
                src, dst = shlex.split(value)
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                shutil.copyfile(src, dst)
            elif name.startswith("check-"):
                checks.append((name, value))

        filled_script = os.path.join(root, "play.script")
        with open(filled_script, "w", encoding="utf-8") as f:
            f.write(script)
        env = dict(os.environ, TMPDIR=places["{TMP}"], XDG_DATA_HOME=places["{DATA}"],
                   XDG_CONFIG_HOME=places["{CONFIG}"])
        command = [binary] + args + ([] if use_stdin else [filled_script])
        run = subprocess.run(command, input=script if use_stdin else None, env=env,
                             capture_output=True, text=True, timeout=300)

        failures = []
        if run.stdout != expected:
            failures.append("standard output differs\n--- expected\n%s--- got\n%s" % (expected, run.stdout))
        if run.returncode != want_exit:
            failures.append("exit status %d, expected %d" % (run.returncode, want_exit))
        for text in want_stderr:
            if text not in run.stderr:
                failures.append("standard error lacks %r: %r" % (text, run.stderr))
        for name, value in checks:
            failures += check(name, value)
        if failures:
            print("\n".join(failures))
            if run.stderr:
                print("--- standard error\n" + run.stderr)
            return 1
        return 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


def check(name, value):
    parts = shlex.split(value)
    path = parts[0]
    if name == "check-absent":
        return [] if not os.path.lexists(path) else ["%s exists" % path]
    if not os.path.isfile(path):
        return ["%s is not a file" % path]
    with open(path, "rb") as f:
        data = f.read()
    if name == "check-same":
        with open(parts[1], "rb") as f:
            want = f.read()
        return [] if data == want else ["%s differs from %s" % (path, parts[1])]
    if name == "check-bytes":
        want = parts[1].encode("utf-8") if len(parts) > 1 else b""
        return [] if data == want else ["%s holds %r, expected %r" % (path, data, want)]
    if name == "check-ini":
        section, key, want = parts[1], parts[2], parts[3] if len(parts) > 3 else ""
        ini = configparser.ConfigParser(interpolation=None)
        ini.optionxform = str
        ini.read_string(data.decode("utf-8"))
        got = ini.get(section, key, fallback=None)
        return [] if got == want else ["%s [%s] %s is %r, expected %r" % (path, section, key, got, want)]
    return ["unknown check " + name]


if __name__ == "__main__":
    sys.exit(main())
