#!/usr/bin/env python3
"""HTTP through url! read and write, against a local server.

Starts the server of http_server.py on 127.0.0.1 and a free port, runs one
`qor` script that prints the result of each case after a line "=== name",
and compares each case's printed text with what it should be.

Usage: http_test.py QOR_BINARY
"""
import hashlib
import os
import pathlib
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import http_server  # noqa: E402

BIG = 10 * 1024 * 1024


def cases(base, refused):
    """(name, qor code printing the result, expected text) for each case."""
    default_headers = (
        "Content-Type: application/x-www-form-urlencoded\n"
        "Accept-Charset: UTF-8\n"
        "User-Agent: Mozilla/5.0 (Windows NT 6.1; Win64; x64)\n")
    host = "Host: " + base.split("//")[1].rstrip("/") + "\n"
    big_digest = hashlib.sha256(http_server.pattern(BIG)).hexdigest().upper()
    return [
        ("text decoded from UTF-8", f"print mold read {base}text", '"h\u00e9llo w\u00f6rld^/"'),
        ("binary is byte-exact", f"print equal? read/binary {base}binary #{{{bytes(range(256)).hex()}}}", "true"),
        ("lines drop CR before LF", f"print mold read/lines {base}lines", '["one" "two" "three"]'),
        ("redirect followed", f"print mold read {base}redirect", '"h\u00e9llo w\u00f6rld^/"'),
        ("404 answers its body", f"print mold read {base}missing", '"not here"'),
        ("info of a 404", f"r: read/info {base}missing print [r/1 mold r/3]", '404 "not here"'),
        ("info: a repeated header is a block",
         f"r: read/info {base}twice print [r/1 mold select r/2 'X-Twice mold r/3]",
         '200 ["a" "b"] "ok"'),
        ("info: a value starts after the blanks", f"r: read/info {base}twice print mold select r/2 'X-Once",
         '"padded"'),
        ("204 answers an empty string", f"print mold read {base}empty", '""'),
        ("204 with /binary answers an empty binary", f"print mold read/binary {base}empty", "#{}"),
        ("HEAD answers an empty string", f"print mold write {base}text [head]", '""'),
        ("POST of a string: default headers in order, UTF-8 body",
         f'prin write {base}echo "a=1&\u00e9"',
         "POST\n" + host + default_headers + "Content-Length: 6\n\nbody-hex: 613d3126c3a9"),
        ("POST of two bytes", f"prin write {base}echo #{{00FF}}",
         "POST\n" + host + default_headers + "Content-Length: 2\n\nbody-hex: 00ff"),
        ("PUT with one header sends only it", f'prin write {base}echo [put [X-Test: "yes"] "body"]',
         "PUT\n" + host + "X-Test: yes\nContent-Length: 4\n\nbody-hex: 626f6479"),
        ("header names and values from other values",
         f"prin write {base}echo [delete [X-Number 42 'X-Word some-word]]",
         "DELETE\n" + host + "X-Number: 42\nX-Word: some-word\n\nbody-hex: "),
        ("an empty block sends GET with the default headers", f"prin write {base}echo []",
         "GET\n" + host + default_headers + "\nbody-hex: "),
        ("GET sends no body", f'prin write {base}echo [get [] "ignored"]', "GET\n" + host + "\nbody-hex: "),
        ("write/info", f'r: write/info {base}digest "abc" print [r/1 r/3]',
         "200 3 " + hashlib.sha256(b"abc").hexdigest()),
        ("10 MB read byte-exact",
         f"b: read/binary {base}big?n={BIG} print [length? b enbase/base checksum b 'sha256 16]",
         f"{BIG} {big_digest}"),
        ("10 MB body sent byte-exact",
         f"b: read/binary {base}big?n={BIG} print write {base}digest b",
         f"{BIG} {hashlib.sha256(http_server.pattern(BIG)).hexdigest()}"),
        ("a refused port: no-connect naming the url and the reason",
         f"e: try [read {refused}x] print [e/id e/arg1 not empty? e/arg2]",
         f"no-connect {refused}x true"),
        ("a block whose first value is no word", f"e: try [write {base}echo [1]] print [e/id mold e/arg1]",
         "invalid-arg 1"),
        ("a block as the body", f"e: try [write {base}echo [post [] [1]]] print e/id", "invalid-arg"),
        ("read/part is not done", f"e: try [read/part {base}text 2] print e/id", "not-done"),
    ]


def main():
    qor = sys.argv[1]
    server = http_server.start()
    base = f"http://127.0.0.1:{server.server_address[1]}/"
    refused = f"http://127.0.0.1:{http_server.free_port()}/"
    table = cases(base, refused)
    script = "Qor []\n" + "".join(f'print "=== {i}"\n{code}\n' for i, (_, code, _) in enumerate(table))
    with tempfile.TemporaryDirectory() as home:
        path = os.path.join(home, "http.qor")
        pathlib.Path(path).write_text(script, encoding="utf-8")
        done = subprocess.run([qor, path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=300,
                              env=dict(os.environ, HOME=home))
    server.shutdown()
    out = done.stdout.decode("utf-8", "replace")
    got = {}
    for part in out.split("=== ")[1:]:
        number, _, text = part.partition("\n")
        got[int(number)] = text.rstrip("\n")
    failures = 0
    for i, (name, code, expected) in enumerate(table):
        if got.get(i) != expected:
            failures += 1
            print(f"FAIL {name}\n  code:     {code}\n  expected: {expected!r}\n  got:      {got.get(i)!r}")
    if failures or done.returncode != 0:
        print(out[-3000:] if failures else "", f"exit status {done.returncode}")
        return 1
    print(f"{len(table)} HTTP cases passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
