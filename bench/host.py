#!/usr/bin/env python3
"""Host services next to the tools people use instead, in one run:

  read/binary of a 100 MB HTTP body from a local server  vs  curl -o /dev/null
                                                              and curl into a file in memory
  read of a 20 MB UTF-8 text body                         vs  curl -o /dev/null
  1,000 call/wait "true"                                  vs  Python's subprocess.run

Each side times only its own work (qor and Python measure inside, curl is
timed around its run). Prints each time and the ratio other / qor (above 1
means qor is faster). Best of three runs each.

Usage: bench/host.py QOR_BINARY
"""
import os
import pathlib
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "host"))
import http_server  # noqa: E402

RUNS = 3


def qor_seconds(qor, code):
    """Runs code in qor; the script prints the seconds its body took."""
    with tempfile.TemporaryDirectory() as home:
        path = os.path.join(home, "b.qor")
        pathlib.Path(path).write_text(
            "Qor []\nt: now/precise\n" + code + "\nprint to-float difference now/precise t\n", encoding="utf-8")
        out = subprocess.run([qor, path], stdout=subprocess.PIPE, check=True, env=dict(os.environ, HOME=home))
    return float(out.stdout.decode().split()[-1])


def curl_seconds(url, into="/dev/null"):
    t = time.perf_counter()
    subprocess.run(["curl", "-s", "-o", into, url], check=True)
    return time.perf_counter() - t


def curl_into_memory(url):
    """curl writing into a file in memory (/dev/shm), as qor keeps the body in memory."""
    with tempfile.NamedTemporaryFile(dir="/dev/shm" if os.path.isdir("/dev/shm") else None) as f:
        return curl_seconds(url, f.name)


def python_calls(n):
    t = time.perf_counter()
    for _ in range(n):
        subprocess.run(["true"])
    return time.perf_counter() - t


def report(what, ours, other_name, other):
    print(f"{what:<36} qor {ours:7.3f} s   {other_name:<22} {other:7.3f} s (x{other / ours:.2f})")


def main():
    qor = sys.argv[1]
    server = http_server.start()
    base = f"http://127.0.0.1:{server.server_address[1]}/"
    big = f"{base}big?n={100 * 1024 * 1024}"
    curl_seconds(big)  # the server makes and keeps the body once
    ours = min(qor_seconds(qor, f"b: read/binary {big}") for _ in range(RUNS))
    theirs = min(curl_seconds(big) for _ in range(RUNS))
    report("read/binary 100 MB over HTTP", ours, "curl -o /dev/null", theirs)
    theirs = min(curl_into_memory(big) for _ in range(RUNS))
    report("", ours, "curl -o /dev/shm/file", theirs)

    text = "h\u00e9llo w\u00f6rld, " * (20 * 1024 * 1024 // 15)
    http_server.Handler.big_cache["text"] = text.encode()
    server.RequestHandlerClass = type("TextHandler", (http_server.Handler,), {
        "handle_any": lambda self: self.send(200, http_server.Handler.big_cache["text"])})
    for name in ("do_GET", "do_HEAD"):
        setattr(server.RequestHandlerClass, name, server.RequestHandlerClass.handle_any)
    ours = min(qor_seconds(qor, f"s: read {base}text") for _ in range(RUNS))
    theirs = min(curl_seconds(f"{base}text") for _ in range(RUNS))
    report("read of 20 MB UTF-8 text over HTTP", ours, "curl", theirs)
    server.shutdown()

    ours = min(qor_seconds(qor, 'loop 1000 [call/wait "true"]') for _ in range(RUNS))
    theirs = min(python_calls(1000) for _ in range(RUNS))
    report('1,000 call/wait "true"', ours, "python3", theirs)


if __name__ == "__main__":
    main()
