#!/usr/bin/env python3
"""The clipboard through the real `qor`: the in-process store without a
display, and the system clipboard under a virtual X server (Xvfb) with
xclip, round trips inside qor and with xclip on the other side: text, file
lists and images (PNG written; PNG and BMP read, malformed ones refused).

Exit 0 when every case passes, 1 on a failure, 77 (skipped) after the
in-process cases when Xvfb or xclip is not installed.

Usage: clipboard_test.py QOR_BINARY
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

FILES = '[%/tmp/a.txt %"/tmp/dir with blanks/b\u00e9.txt"]'
FILES_MOLD = '[%/tmp/a.txt %"/tmp/dir with blanks/b\u00e9.txt"]'

# (qor code printing a result, expected text), run in one session each.
ROUND_TRIPS = [
    ('print write-clipboard "h\u00e9llo^/two" print mold read-clipboard', 'true\n"h\u00e9llo^/two"'),
    (f"print write-clipboard {FILES} print mold read-clipboard", f"true\n{FILES_MOLD}"),
    ('write-clipboard "x" print write-clipboard none print mold read-clipboard', "true\nnone"),
    ('write-clipboard "" print mold read-clipboard', '""'),
    # An image keeps its size and every pixel, transparency included; one
    # without pixels empties the clipboard.
    ("i: make image! [3x2 255.0.0] poke i 2 0.128.255.100 print write-clipboard i j: read-clipboard "
     "print [type? j j/size j = i] print j/2", "true\nimage 3x2 true\n0.128.255.100"),
    ('write-clipboard "x" print write-clipboard make image! 0x0 print mold read-clipboard', "true\nnone"),
    ("e: try [write-clipboard 1] print [e/id e/arg1]", "invalid-arg 1"),
    ("e: try [write-clipboard [%a.txt 2]] print [e/id e/arg1]", "invalid-arg 2"),
]

IN_PROCESS = [
    # The store keeps a copy: a later change to the value written leaves it.
    ('s: copy "abc" write-clipboard s append s "d" print read-clipboard', "abc"),
    ('write-clipboard "abc" c: read-clipboard append c "!" print read-clipboard', "abc"),
    ("print mold read-clipboard", "none"),
]


def run_qor(qor, code, env):
    with tempfile.TemporaryDirectory() as home:
        path = os.path.join(home, "clip.qor")
        with open(path, "w", encoding="utf-8") as f:
            f.write("Qor []\n" + code + "\n")
        done = subprocess.run([qor, path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60,
                              env=dict(env, HOME=home))
    return done.stdout.decode("utf-8", "replace").rstrip("\n")


def check(qor, cases, env, label):
    failures = 0
    for code, expected in cases:
        got = run_qor(qor, code, env)
        if got != expected:
            failures += 1
            print(f"FAIL ({label}) {code}\n  expected: {expected!r}\n  got:      {got!r}")
    return failures


def png(width, height, rgba):
    """A PNG of 8-bit RGBA pixels (a list of 4-tuples, rows from the top)."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + b"".join(bytes(p) for p in rgba[y * width:(y + 1) * width]) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def bmp(width, height, claimed=None, pixel_bytes=None):
    """A 24-bit bottom-up BMP of blue pixels; `claimed` overrides the size its
    header states, `pixel_bytes` the pixel data that follows."""
    w, h = claimed or (width, height)
    stride = (width * 3 + 3) // 4 * 4
    data = pixel_bytes if pixel_bytes is not None else (b"\xff\0\0" * width + b"\0" * (stride - 3 * width)) * height
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(data), 0, 0, 54) + info + data


# Pictures another program offers, and what qor reads of them.
OFFERED_IMAGES = [
    ("image/png", png(2, 1, [(255, 0, 0, 255), (0, 255, 0, 128)]), "[2x1 255.0.0.0 0.255.0.127]"),
    ("image/bmp", bmp(3, 2), "[3x2 0.0.255.0 0.0.255.0]"),
    # A header claiming 30000 x 30000 pixels over a few bytes: refused before
    # any pixel is read or memory taken for them.
    ("image/bmp", bmp(3, 2, claimed=(30000, 30000)), "false"),
    ("image/bmp", bmp(3, 2, pixel_bytes=b"\0" * 5), "false"),
    ("image/png", png(2, 1, [(1, 2, 3, 4)] * 2)[:40], "false"),
    # Bytes that are not in the format their type names.
    ("image/png", bmp(3, 2), "false"),
]
READ_IMAGE = 'i: read-clipboard print mold either image? i [reduce [i/size i/1 last i]] [i]'


def xclip(display_env, *args, data=None):
    """Runs xclip; a writing xclip leaves a process serving the clipboard,
    which must not hold a pipe of ours."""
    out = subprocess.DEVNULL if data is not None else subprocess.PIPE
    return subprocess.run(["xclip", "-selection", "clipboard", *args], input=data, stdout=out,
                          stderr=subprocess.DEVNULL, env=display_env, timeout=20).stdout


def xclip_offer(display_env, kind, data):
    """Makes xclip own the clipboard with the data as the target `kind` (text
    when None), and waits until it serves it: the writing xclip forks its
    server, which may take the selection only after the writing call has
    returned."""
    target = ["-t", kind] if kind else []
    xclip(display_env, "-i", *target, data=data)
    deadline = time.monotonic() + 10
    while xclip(display_env, "-o", *target) != data and time.monotonic() < deadline:
        time.sleep(0.05)


def with_xvfb(qor, base_env):
    """The system clipboard cases; answers the failure count."""
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp"], pass_fds=[write_fd],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    try:
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_fd, 16)
            if not chunk:
                print("Xvfb did not start")
                return 1
            number += chunk
        env = dict(base_env, DISPLAY=":" + number.decode().strip())
        failures = check(qor, ROUND_TRIPS, env, "X11")
        # What qor writes, xclip reads, and the other way round.
        run_qor(qor, 'write-clipboard "from qor \u00e9"', env)
        got = xclip(env, "-o").decode("utf-8")
        if got != "from qor \u00e9":
            failures += 1
            print(f"FAIL xclip reads what qor wrote: {got!r}")
        run_qor(qor, f"write-clipboard {FILES}", env)
        got = xclip(env, "-o", "-t", "text/uri-list").decode()
        want = "file:///tmp/a.txt\r\nfile:///tmp/dir%20with%20blanks/b%C3%A9.txt\r\n"
        if got != want:
            failures += 1
            print(f"FAIL xclip reads a uri-list: {got!r}")
        xclip_offer(env, None, "from xclip \u00e9".encode())
        failures += check(qor, [("print mold read-clipboard", '"from xclip \u00e9"')], env, "xclip wrote text")
        xclip_offer(env, "text/uri-list",
                    b"# a comment\r\nfile:///tmp/x%20y\r\nfile://localhost/tmp/z\r\nhttp://not/a/file\r\n")
        failures += check(qor, [("print mold read-clipboard", '[%"/tmp/x y" %/tmp/z]')], env,
                          "xclip wrote a uri-list")
        # An image qor wrote is a PNG that other programs read.
        run_qor(qor, "write-clipboard make image! [4x3 1.2.3]", env)
        targets = xclip(env, "-o", "-t", "TARGETS").decode().split()
        got = xclip(env, "-o", "-t", "image/png")
        if "image/png" not in targets or got[:8] != b"\x89PNG\r\n\x1a\n" or struct.unpack(">II", got[16:24]) != (4, 3):
            failures += 1
            print(f"FAIL xclip reads a PNG qor wrote: {targets!r} {got[:24]!r}")
        for kind, data, expected in OFFERED_IMAGES:
            xclip_offer(env, kind, data)
            failures += check(qor, [(READ_IMAGE, expected)], env, f"xclip wrote {kind} of {len(data)} bytes")
        return failures
    finally:
        os.close(read_fd)
        xvfb.terminate()
        xvfb.wait(timeout=20)


def main():
    qor = sys.argv[1]
    base_env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    failures = check(qor, ROUND_TRIPS + IN_PROCESS, base_env, "in-process")
    if not (shutil.which("Xvfb") and shutil.which("xclip")):
        print("Xvfb or xclip is not installed: the system clipboard cases are skipped")
        return 1 if failures else 77
    failures += with_xvfb(qor, base_env)
    if failures:
        return 1
    print("clipboard cases passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
