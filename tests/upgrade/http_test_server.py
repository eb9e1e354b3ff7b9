"""Small HTTP server for the download tests.

Binds 127.0.0.1 on a free port, prints the port on the first line of
stdout, and serves until its stdin is closed or its lifetime (first argument,
seconds, default 120) runs out. An optional second argument names a folder
served under /files/.
"""
import gzip
import os
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlparse


def pattern(count):
    return bytes((i * 7 + 3) % 251 for i in range(count))


FILES = sys.argv[2] if len(sys.argv) > 2 else None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.route()

    def do_POST(self):
        self.route()

    def answer(self, code, body=b"", length=True, headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        if length:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if body:
            self.wfile.write(body)

    def route(self):
        url = urlparse(self.path)
        query = parse_qs(url.query)
        parts = url.path.strip("/").split("/")
        head = parts[0]
        if head == "data":
            body = pattern(int(parts[1]))
            self.answer(200, body, length="nolength" not in query)
        elif head == "status":
            self.answer(int(parts[1]), b"<html>status page</html>")
        elif head == "redirect":
            self.answer(int(parts[1]), b"moved", headers=[("Location", unquote(query["to"][0]))])
        elif head == "nolocation":
            self.answer(302, b"moved somewhere")
        elif head == "loop":
            self.answer(302, headers=[("Location", "/loop")])
        elif head == "chain":
            left = int(parts[1])
            if left > 0:
                self.answer(302, headers=[("Location", "/chain/%d" % (left - 1))])
            else:
                self.answer(200, pattern(1000))
        elif head == "gzipcut":
            # A gzip body cut short: announced and sent in full, but damaged.
            self.answer(200, gzip.compress(pattern(5000))[:-20], headers=[("Content-Encoding", "gzip")])
        elif head == "gzip":
            self.answer(200, gzip.compress(pattern(5000)), headers=[("Content-Encoding", parts[1])])
        elif head == "short":
            # Announces more than it sends, then hangs up.
            self.send_response(200)
            self.send_header("Content-Length", "10000")
            self.end_headers()
            self.wfile.write(pattern(4000))
            self.wfile.flush()
            self.close_connection = True
        elif head == "slow":
            self.send_response(200)
            self.send_header("Content-Length", "10000000")
            self.end_headers()
            deadline = time.time() + 30
            try:
                while time.time() < deadline:
                    self.wfile.write(pattern(1000))
                    self.wfile.flush()
                    time.sleep(0.05)
            except OSError:
                pass
        elif head == "echo":
            length = int(self.headers.get("Content-Length", "0"))
            received = self.rfile.read(length) if length else b""
            text = "%s\n%s\n" % (self.command, self.headers.get("Content-Type", ""))
            self.answer(200, text.encode() + received)
        elif head == "files" and FILES:
            path = os.path.join(FILES, os.path.basename(unquote(parts[-1])))
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    self.answer(200, f.read())
            else:
                self.answer(404, b"missing")
        else:
            self.answer(404, b"unknown")


def main():
    lifetime = float(sys.argv[1]) if len(sys.argv) > 1 else 120.0
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)

    def stop_when_stdin_closes():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=stop_when_stdin_closes, daemon=True).start()
    threading.Timer(lifetime, lambda: os._exit(0)).start()
    server.serve_forever()


main()
