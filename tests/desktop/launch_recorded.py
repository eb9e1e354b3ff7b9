#!/usr/bin/python3
"""Starts a program and writes its exit status to a file when it ends.

    launch_recorded.py STATUS-FILE PROGRAM [ARG...]

WebKitWebDriver starts the browser it drives itself and keeps its exit
status; the desktop tests start vornida through this so that they can check
how it ended. The program's process id goes to STATUS-FILE.pid. SIGTERM, SIGINT and SIGHUP are passed on to the program. A
program ended by a signal is recorded as 128 + the signal's number.
"""
import os
import signal
import subprocess
import sys

status_file, program, *args = sys.argv[1:]
child = subprocess.Popen([program, *args])
with open(status_file + ".pid", "w") as out:
    out.write("%d\n" % child.pid)
for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
    signal.signal(number, lambda received, frame: child.send_signal(received))
code = child.wait()
if code < 0:
    code = 128 - code
with open(status_file + ".part", "w") as out:
    out.write("%d\n" % code)
os.replace(status_file + ".part", status_file)
sys.exit(code)
