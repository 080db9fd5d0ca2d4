"""A small HTTP server on 127.0.0.1 for the HTTP tests and benchmark.

Paths:
  /text        UTF-8 text
  /lines       three lines, CR LF and LF ends, no final line end
  /binary      the 256 byte values in order
  /echo        (any method) the method, the request headers in the order
               received ("Name: value" lines), a blank line, then
               "body-hex: " and the body in hexadecimal
  /digest      (any method) the length and SHA-256 of the request body
  /twice       a header sent twice (X-Twice: a, X-Twice: b), body "ok"
  /missing     404 with the body "not here"
  /redirect    302 to /text
  /empty       204, no body
  /big?n=N     N bytes of the pattern `pattern(N)`
"""
import hashlib
import http.server
import socket
import threading
import urllib.parse


def pattern(n):
    """n bytes that repeat with a period (251) prime to every power of two."""
    block = bytes((i * 7 + 3) % 251 for i in range(251))
    whole, rest = divmod(n, 251)
    return block * whole + block[:rest]


class Handler(http.server.BaseHTTPRequestHandler):
    big_cache = {}

    def log_message(self, *args):
        pass

    def send(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if status not in (204, 304):
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD" and status not in (204, 304):
            self.wfile.write(body)

    def request_body(self):
        n = int(self.headers.get("Content-Length", "0"))
        return self.rfile.read(n) if n else b""

    def handle_any(self):
        url = urllib.parse.urlsplit(self.path)
        path = url.path
        if path == "/text":
            self.send(200, "h\u00e9llo w\u00f6rld\n".encode(), [("Content-Type", "text/plain; charset=utf-8")])
        elif path == "/lines":
            self.send(200, b"one\r\ntwo\nthree")
        elif path == "/binary":
            self.send(200, bytes(range(256)), [("Content-Type", "application/octet-stream")])
        elif path == "/echo":
            body = self.request_body()
            lines = [self.command] + [f"{k}: {v}" for k, v in self.headers.items()]
            text = "\n".join(lines) + "\n\nbody-hex: " + body.hex()
            self.send(200, text.encode())
        elif path == "/digest":
            body = self.request_body()
            self.send(200, f"{len(body)} {hashlib.sha256(body).hexdigest()}".encode())
        elif path == "/twice":
            self.send(200, b"ok", [("X-Twice", "a"), ("X-Twice", "b"), ("X-Once", "  padded")])
        elif path == "/missing":
            self.send(404, b"not here")
        elif path == "/redirect":
            self.send(302, b"moved", [("Location", "/text")])
        elif path == "/empty":
            self.send(204)
        elif path == "/big":
            n = int(urllib.parse.parse_qs(url.query)["n"][0])
            if n not in Handler.big_cache:
                Handler.big_cache[n] = pattern(n)
            self.send(200, Handler.big_cache[n])
        else:
            self.send(400, b"unknown path")

    do_GET = do_POST = do_PUT = do_DELETE = do_HEAD = do_PATCH = handle_any


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def start():
    """Starts the server on a free port in a daemon thread; answers it."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server
