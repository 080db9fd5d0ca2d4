#!/usr/bin/env python3
"""Checks qor's JSON and CSV codecs against Python's json and csv modules.

- A table of JSON texts covering the grammar's corners (numbers, escapes,
  surrogate pairs, trailing commas, control characters in strings, deep
  nesting, empty documents): `load-json` must accept exactly the texts that
  `json.loads` accepts (with NaN and Infinity refused, as JSON refuses
  them), and for each accepted text `to-json` of the loaded value must read
  back in Python as the value `json.loads` gives for the original text.
- Values built in qor (control characters, Latin-1 and astral characters,
  nested maps, objects, percents, files ...) written by `to-json`,
  `to-json/pretty` and `to-json/ascii`: Python must read each back as the
  expected value.
- A table of awkward CSV files (quotes, delimiters and line ends inside
  quotes, CRLF, CR, empty fields, no final line end, a header): `load-csv`
  (written out by `to-json`) must give what `csv.reader` and `csv.DictReader`
  give.

Every text goes through a file, so no quoting of the language gets in the
way; one `qor` process runs one generated script.

Usage: codec_conformance.py QOR_BINARY
"""
import csv
import io
import json
import pathlib
import subprocess
import sys
import tempfile

DEEP = "[" * 500 + "]" * 500

# JSON texts: each is compared for acceptance with Python, then read back.
JSON_CASES = [
    # numbers
    "0", "-0", "12", "-12", "1.5", "-0.25", "1e2", "1E2", "1e+2", "1e-2", "2.5E-3", "0e0", "0.0",
    "01", "-01", "00", "+1", ".5", "1.", "1.e2", "1e", "1e+", "-", "--1", "0x10", "1_000", "١",
    # literals and case
    "true", "false", "null", "True", "NULL", "nul", "truex", "NaN", "Infinity", "-Infinity",
    # strings and every escape
    '""', '"abc"', r'"\"\\\/\b\f\n\r\t"', r'"\u0041\u00e9\u20AC"', r'"\uD83D\uDE00"', r'"\ud834\udd1e"',
    r'"\x41"', r"'a'", r'"\'"', r'"\U0041"', r'"\u00G0"', r'"\u12"', '"abc', 'abc"',
    '"a\tb"', '"a\nb"', '"a\x00b"', '"a\x1fb"', '"a\x7fb"', '"a\u2028b"', '"\u00e9"', '"😀"',
    # arrays and objects
    "[]", "[ ]", "[1,2]", "[1,]", "[,1]", "[1,,2]", "[1 2]", "[", "]", "[[[]]]",
    "{}", '{"a":1}', '{"a":1,}', '{"a" 1}', '{a:1}', "{'a':1}", '{"a":1 "b":2}', '{"a":{"b":[{}]}}',
    '{"a":1,"a":2}', '{"a b":1,"c":2,"-1":3,"é":4}', '{"":0}', '{1:2}',
    # documents and white space
    "", " ", " \t\n\r[1] \n", "\f[1]", "\u00a0[1]", "[1] x", "1 2", "[1]]", DEEP,
]

QOR_VALUES = [
    # (qor expression, expected Python value); each goes through to-json
    # compact, pretty and ascii.
    ('rejoin ["a" make char! 0 "b" #"^/" "^-" #"^"" "\\" make char! 31 "/" make char! 127]',
     'a\x00b\n\t"\\\x1f/\x7f'),
    ('"é€😀 𝄞"', "é€😀 𝄞"),
    ('reduce [none true false 0 -7 2.5 -1e-3 50%]', [None, True, False, 0, -7, 2.5, -0.001, 0.5]),
    ('make map! reduce ["k" [1 [2 []]] quote w: make map! [] 5 "five"]', {"k": [1, [2, []]], "w": {}, "5": "five"}),
    ('make object! [a: 1 b: make object! [c: "x"]]', {"a": 1, "b": {"c": "x"}}),
    ('reduce [%a/b.txt http://x.org/?q=1 <t> (quote (1 2)) make hash! [3]]',
     ["a/b.txt", "http://x.org/?q=1", "<t>", [1, 2], [3]]),
    ('[]', []),
]

CSV_CASES = [
    "a,b\nc,d\n",
    "a,b\r\nc,d\r\n",
    "a,b\rc,d\r",
    "a,b\nc,d",
    'a,"b,c"\n"d\ne","f""g"\n',
    '"x\r\ny",z\r\n"",""\r\n',
    ",,\n,,\n",
    'a,b\n"",x\n',
    '"a""","""b"\n"""",""""""\n',
    "one\n",
    "é,ü\n€,😀\n",
    'a b , c\n d ,e \n',
    'x,"quoted, with comma"\ny,"line1\nline2\nline3"\n',
]

CSV_HEADER_CASES = [
    "n,v\na,1\nb,2\n",
    'name,"note, quoted"\r\nx,"a\r\nb"\r\ny,\r\n',
]


def no_constants(name):
    raise ValueError(name)


def python_json(text):
    try:
        return True, json.loads(text, parse_constant=no_constants)
    except (ValueError, RecursionError):
        return False, None


def same(a, b):
    """JSON values equal, numbers compared as floats (qor's integers are 32-bit)."""
    if isinstance(a, bool) or isinstance(b, bool):
        return a is b
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        return float(a) == float(b)
    if isinstance(a, list) and isinstance(b, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict) and isinstance(b, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    return type(a) is type(b) and a == b


def qor_file(path):
    return "%" + str(path).replace(" ", "%20")


def build_script(work):
    lines = ["Qor []"]
    for i, text in enumerate(JSON_CASES):
        src = work / f"j{i}.json"
        src.write_bytes(text.encode("utf-8", "surrogatepass"))
        lines.append(f'v: load-json read {qor_file(src)} either error? :v [print "{i} refuse"]'
                     f'[print "{i} accept" write {qor_file(work / f"j{i}.out")} to-json :v]')
    for i, (expr, _) in enumerate(QOR_VALUES):
        lines.append(f"v: {expr}")
        lines.append(f"write {qor_file(work / f'v{i}.compact')} to-json :v")
        lines.append(f'write {qor_file(work / f"v{i}.pretty")} to-json/pretty :v "  "')
        lines.append(f"write {qor_file(work / f'v{i}.ascii')} to-json/ascii :v")
    for name, cases, refinement in (("c", CSV_CASES, ""), ("h", CSV_HEADER_CASES, "/header"),
                                    ("r", CSV_HEADER_CASES, "/header/as-records")):
        for i, text in enumerate(cases):
            src = work / f"{name}{i}.csv"
            src.write_bytes(text.encode("utf-8"))
            lines.append(f"write {qor_file(work / f'{name}{i}.out')} to-json load-csv{refinement} read {qor_file(src)}")
    lines.append('print "done"')
    script = work / "cases.qor"
    script.write_text("\n".join(lines) + "\n", encoding="utf-8")
    return script


def main():
    sys.setrecursionlimit(20000)  # the deep-nesting case is compared recursively
    qor = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        script = build_script(work)
        run = subprocess.run([qor, str(script)], capture_output=True, text=True, timeout=600)
        if not run.stdout.rstrip().endswith("done"):
            print(run.stdout[-2000:], run.stderr[-2000:])
            return 1
        verdicts = dict(line.split(" ", 1) for line in run.stdout.splitlines() if line[:1].isdigit())

        for i, text in enumerate(JSON_CASES):
            ok, value = python_json(text)
            accepted = verdicts.get(str(i)) == "accept"
            if accepted != ok:
                failures.append(f"JSON {text[:40]!r}: qor {'accepts' if accepted else 'refuses'}, Python does not")
            elif ok:
                back = json.loads((work / f"j{i}.out").read_text(encoding="utf-8"))
                if not same(back, value):
                    failures.append(f"JSON {text[:40]!r}: to-json gives {back!r}, expected {value!r}")

        for i, (expr, expected) in enumerate(QOR_VALUES):
            for form in ("compact", "pretty", "ascii"):
                raw = (work / f"v{i}.{form}").read_bytes()
                if form == "ascii" and any(b > 127 for b in raw):
                    failures.append(f"to-json/ascii of {expr}: bytes above 127")
                try:
                    back = json.loads(raw.decode("utf-8"))
                except ValueError as e:
                    failures.append(f"to-json ({form}) of {expr}: Python cannot read it: {e}")
                    continue
                if not same(back, expected):
                    failures.append(f"to-json ({form}) of {expr}: reads back as {back!r}")

        for i, text in enumerate(CSV_CASES):
            expected = list(csv.reader(io.StringIO(text, newline="")))
            got = json.loads((work / f"c{i}.out").read_text(encoding="utf-8"))
            if got != expected:
                failures.append(f"CSV {text!r}: load-csv {got!r}, csv.reader {expected!r}")
        for i, text in enumerate(CSV_HEADER_CASES):
            records = list(csv.DictReader(io.StringIO(text, newline="")))
            columns = {k: [r[k] for r in records] for k in records[0]}
            got = json.loads((work / f"h{i}.out").read_text(encoding="utf-8"))
            if got != columns:
                failures.append(f"CSV /header {text!r}: load-csv {got!r}, csv {columns!r}")
            got = json.loads((work / f"r{i}.out").read_text(encoding="utf-8"))
            if got != records:
                failures.append(f"CSV /header/as-records {text!r}: load-csv {got!r}, csv {records!r}")

    for f in failures:
        print("FAIL", f)
    total = len(JSON_CASES) + 3 * len(QOR_VALUES) + len(CSV_CASES) + 2 * len(CSV_HEADER_CASES)
    print(f"{total - len(failures)} of {total} checks agree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
