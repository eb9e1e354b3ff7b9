"""Small HTTP(S) server for the download tests.

usage: http_test_server.py [LIFETIME [FOLDER]] [--tls CERT KEY]

Binds 127.0.0.1 on a free port, prints the port on the first line of
stdout, and serves until its stdin is closed or its lifetime (seconds,
default 120) runs out. FOLDER is served under /files/ (and, gzip-encoded,
under /gzipfiles/). With --tls it speaks https with that certificate chain
and key (PEM files).
"""
import gzip
import os
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, unquote, urlparse


def pattern(count):
    return bytes((i * 7 + 3) % 251 for i in range(count))


ARGS = sys.argv[1:]
TLS = None
if "--tls" in ARGS:
    at = ARGS.index("--tls")
    TLS = ARGS[at + 1:at + 3]
    del ARGS[at:at + 3]
FILES = ARGS[1] if len(ARGS) > 1 else None

# One gzip member inflating to 1 MiB of zeros; members in a row make one
# valid gzip stream, so a bomb of any size costs nothing to build.
MEGABYTE_OF_ZEROS = gzip.compress(bytes(1 << 20), 9)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.route_safely()

    def do_POST(self):
        self.route_safely()

    def route_safely(self):
        try:
            self.route()
        except (ValueError, KeyError, IndexError, FileNotFoundError):
            self.answer(404, b"unknown")
        except OSError:
            pass  # the client hung up, as clients that stop a transfer do

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
        elif head == "bomb":
            # A gzip body inflating to N MiB, about 1/1000 of that on the wire.
            self.answer(200, MEGABYTE_OF_ZEROS * int(parts[1]), length="nolength" not in query,
                        headers=[("Content-Encoding", "gzip")])
        elif head == "endless":
            # A body that never ends (no length announced).
            self.send_response(200)
            self.end_headers()
            chunk = pattern(65536)
            try:
                while True:
                    self.wfile.write(chunk)
            except OSError:
                pass
        elif head == "drip":
            # Headers at once, then a byte every half second.
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            try:
                for _ in range(100000):
                    self.wfile.write(b"x")
                    self.wfile.flush()
                    time.sleep(0.5)
            except OSError:
                pass
        elif head == "stallredirect":
            # Each hop waits before it sends the client on to the next.
            time.sleep(float(query.get("wait", ["0.3"])[0]))
            self.answer(302, headers=[("Location", "/stallredirect/%d" % (int(parts[1]) + 1))])
        elif head == "gzipfiles" and FILES:
            path = os.path.join(FILES, os.path.basename(unquote(parts[-1])))
            with open(path, "rb") as f:
                self.answer(200, gzip.compress(f.read()), headers=[("Content-Encoding", "gzip")])
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
    lifetime = float(ARGS[0]) if ARGS else 120.0
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if TLS:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(TLS[0], TLS[1])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)

    def stop_when_stdin_closes():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=stop_when_stdin_closes, daemon=True).start()
    threading.Timer(lifetime, lambda: os._exit(0)).start()
    server.serve_forever()


main()
