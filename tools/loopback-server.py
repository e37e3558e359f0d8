#!/usr/bin/env python3
"""A test web server on loopback: serves files, records posts, and misbehaves on request.

  loopback-server.py --port 0 --ready FILE [--bind 127.0.0.1] [--tls CERT KEY]
                     [--root DIR] [--record FILE] [--mode MODE] [--rule PREFIX=MODE ...]
                     [--stop FILE] [--lifetime SECONDS] [--access-log FILE]

GET serves the file of the request path under --root; empty path segments are dropped, so
"//a//b.xml" is "a/b.xml". A missing file is answered 404 with an HTML body, as a web
server's error page would be. POST records one JSON line (method, path, headers, body as
text) into --record and answers 200. The port actually bound is written to --ready.
--access-log appends "METHOD PATH" for every request received, before it is answered
(or not), so a test can tell that nothing reached the server. The server ends when the --stop file appears or after --lifetime seconds (default 600), so
a test under Wine that started it and cannot signal a Unix process still leaves nothing
running.

Modes, for every request (--mode) or for paths that begin with a prefix (--rule, first
match wins; a prefix is compared after the empty segments are dropped):
  serve     the behaviour above
  notfound  404 with an HTML body
  trickle   status and headers (no length), then one body byte per second, never ending
  endless   status and headers (no length), then body bytes as fast as the client takes
            them, never ending
  hang      accept the request and never answer
  drop      close the connection without an answer
  stall     status and headers (a Content-Length of 1000), then nothing, never ending
  big       a 4 MiB body with its Content-Length, then the end of the answer
  bigclose  a 4 MiB body without Content-Length, ended by closing the connection
  short     the file of the request path (or the 404 page) with a Content-Length 1000 bytes
            larger than the body, then the connection closed
  status-N  the file of the request path (or the 404 page) with HTTP status N (404, 500...)
"""
import argparse
import http.server
import json
import os
import socketserver
import ssl
import sys
import threading
import time

NOT_FOUND = b"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n"


def normalise(path):
    path = path.split("?", 1)[0]
    return "/" + "/".join(p for p in path.split("/") if p)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "loopback-test"

    def log_message(self, fmt, *args):
        sys.stderr.write("loopback-server: " + (fmt % args) + "\n")

    def parse_request(self):
        ok = super().parse_request()
        if ok and self.server.access_log:
            with self.server.lock, open(self.server.access_log, "a", encoding="utf-8") as f:
                f.write("%s %s\n" % (self.command, self.path))
        return ok

    def mode(self):
        path = normalise(self.path)
        for prefix, mode in self.server.rules:
            if path.startswith(prefix):
                return mode
        return self.server.mode

    def misbehave(self, mode):
        if mode == "drop":
            self.close_connection = True
            return True
        if mode == "hang":
            while True:
                time.sleep(3600)
        if mode in ("trickle", "endless"):
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            # No length: the body runs until the connection closes, so only the client's
            # own bounds end it.
            self.send_header("Connection", "close")
            self.end_headers()
            chunk = b"x" if mode == "trickle" else b"x" * 65536
            try:
                while True:
                    self.wfile.write(chunk)
                    self.wfile.flush()
                    if mode == "trickle":
                        time.sleep(1)
            except OSError:
                pass
            self.close_connection = True
            return True
        if mode == "notfound":
            self.answer(404, NOT_FOUND, "text/html")
            return True
        if mode == "stall":
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.flush()
            while True:
                time.sleep(3600)
        if mode in ("big", "bigclose"):
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            if mode == "big":
                self.send_header("Content-Length", str(4 << 20))
            else:
                self.send_header("Connection", "close")
            self.end_headers()
            try:
                for _ in range(64):
                    self.wfile.write(b"x" * 65536)
                self.wfile.flush()
            except OSError:
                pass
            self.close_connection = True
            return True
        if mode == "short":
            body = self.file_body() or NOT_FOUND
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(body) + 1000))
            self.end_headers()
            self.wfile.write(body)
            self.wfile.flush()
            self.close_connection = True
            return True
        if mode.startswith("status-"):
            body = self.file_body() or NOT_FOUND
            self.answer(int(mode[len("status-"):]), body)
            return True
        return False

    def file_body(self):
        relative = normalise(self.path).lstrip("/")
        root = os.path.realpath(self.server.root or ".")
        full = os.path.realpath(os.path.join(root, relative))
        if not full.startswith(root + os.sep) or not os.path.isfile(full):
            return None
        with open(full, "rb") as f:
            return f.read()

    def answer(self, status, body, content_type="application/octet-stream"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        # A slow server: the answer comes after a short, bounded wait.
        if self.server.delay:
            time.sleep(self.server.delay)
        if self.misbehave(self.mode()):
            return
        relative = normalise(self.path).lstrip("/")
        root = os.path.realpath(self.server.root or ".")
        full = os.path.realpath(os.path.join(root, relative))
        if not full.startswith(root + os.sep) or not os.path.isfile(full):
            self.answer(404, NOT_FOUND, "text/html")
            return
        with open(full, "rb") as f:
            self.answer(200, f.read())

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        if self.misbehave(self.mode()):
            return
        if self.server.record:
            entry = {"method": "POST", "path": self.path, "headers": dict(self.headers.items()),
                     "body": body.decode("latin-1")}
            with self.server.lock, open(self.server.record, "a", encoding="utf-8") as f:
                f.write(json.dumps(entry) + "\n")
        self.answer(200, b"OK", "text/plain")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--ready")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--root")
    parser.add_argument("--record")
    parser.add_argument("--mode", default="serve")
    parser.add_argument("--rule", action="append", default=[])
    parser.add_argument("--stop")
    parser.add_argument("--lifetime", type=float, default=600)
    parser.add_argument("--access-log")
    parser.add_argument("--delay", type=float, default=0, help="seconds to wait before each GET answer (at most 10)")
    args = parser.parse_args()

    server = Server((args.bind, args.port), Handler)
    server.root, server.record, server.mode = args.root, args.record, args.mode
    server.rules = [(normalise(r.split("=", 1)[0]), r.split("=", 1)[1]) for r in args.rule]
    server.lock = threading.Lock()
    server.access_log = args.access_log
    server.delay = min(max(args.delay, 0.0), 10.0)
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    if args.ready:
        with open(args.ready + ".tmp", "w") as f:
            f.write(str(server.server_address[1]))
        os.replace(args.ready + ".tmp", args.ready)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    deadline = time.monotonic() + args.lifetime
    while time.monotonic() < deadline and not (args.stop and os.path.exists(args.stop)):
        time.sleep(0.2)
    os._exit(0)


if __name__ == "__main__":
    main()
