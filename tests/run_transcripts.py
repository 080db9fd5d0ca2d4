#!/usr/bin/env python3
"""Replays language transcripts through the real `qor` binary.

A transcript (*.qt) is a table of cases: each `>> ` line is input typed at
the console, and the lines after it, up to the next `>> ` line, are the exact
output the console prints for it when standard input is piped (no prompt, no
echo). Lines before the first `>> ` line are comments. All inputs of a file
go to one `qor` process, so later lines see what earlier lines defined. The
banner the console prints first is not part of any case.

The same tables also run in process in the unit tests (the fast check that
runs under the sanitizers); both runs read the same files and expect the same
output. What the unit fixtures set up in C++ before a table, the console gets
as input first:
- `setup.txt` in a transcript directory, when there is one: console input
  lines sent before each transcript of that directory. They must print
  nothing (end a line with `()` to drop its value); any output shows as a
  mismatch. The in-process fixtures run the same file (the unit tests of
  the evaluator also switch the "*** Stack: " line off in C++).
- The process environment gets QOR_TRANSCRIPT_VAR="a=b c", which the
  tables read back, and HOME is a fresh directory, so no settings file of
  the user is read or written. DISPLAY and WAYLAND_DISPLAY are removed, so
  the clipboard is the in-process store, never the desktop's.
- Each transcript runs in a fresh empty working directory, removed after,
  so tables that write files start clean and leave nothing behind.

Usage: run_transcripts.py QOR_BINARY TRANSCRIPT_DIR...
Exit 0 when every transcript matches, 1 on a mismatch, 77 (skipped) when
`qor` has no console yet.
"""
import concurrent.futures
import difflib
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile


def parse(path):
    cases, current = [], None
    for line in path.read_text(encoding="utf-8").split("\n"):
        if line.startswith(">> "):
            current = [line[3:], []]
            cases.append(current)
        elif current is not None:
            current[1].append(line)
    # The file's final newline leaves one empty line after the last case.
    if cases and cases[-1][1] and cases[-1][1][-1] == "":
        cases[-1][1].pop()
    return cases


BANNER_END = "Type HELP for starting information. \n\n"


def run(qor, text):
    """Runs one console session on `text` in a fresh working directory, with
    a home directory of its own (the settings file goes there)."""
    home = tempfile.mkdtemp(prefix="qor-transcript-home-")
    cwd = tempfile.mkdtemp(prefix="qor-transcript-")
    env = dict(os.environ, HOME=home, QOR_TRANSCRIPT_VAR="a=b c")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    try:
        done = subprocess.run([qor], input=text.encode(), stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=600, cwd=cwd, env=env)
    finally:
        shutil.rmtree(cwd, ignore_errors=True)
        shutil.rmtree(home, ignore_errors=True)
    out = done.stdout.decode("utf-8", "replace")
    if out.startswith("--== Qor ") and BANNER_END in out:
        out = out[out.index(BANNER_END) + len(BANNER_END):]
    return out


def setup_lines(folder):
    setup = folder / "setup.txt"
    if not setup.exists():
        return ""
    return "".join(l + "\n" for l in setup.read_text(encoding="utf-8").splitlines() if l)


def replay(qor, path, setup):
    """Answers the report of one transcript and whether it matched."""
    cases = parse(path)
    text = setup + "".join(c[0] + "\n" for c in cases)
    expected = "".join("".join(l + "\n" for l in c[1]) for c in cases)
    actual = run(qor, text)
    name = f"{path.parent.parent.name}/{path.name}"
    if actual == expected:
        return True, f"ok   {name} ({len(cases)} cases)\n"
    diff = difflib.unified_diff(expected.splitlines(True), actual.splitlines(True),
                                "expected", "actual")
    return False, f"FAIL {name}\n" + "".join(diff)


def main():
    qor = sys.argv[1]
    folders = [pathlib.Path(f) for f in sys.argv[2:]]
    jobs = [(path, setup_lines(folder)) for folder in folders
            for path in sorted(folder.glob("*.qt"))]
    if not jobs:
        print("transcripts: skipped: no transcript files yet")
        return 77
    if "probe" not in run(qor, 'print "probe"\n'):
        print("transcripts: skipped: qor has no console yet")
        return 77
    # The sessions are independent processes: run them side by side.
    with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        results = list(pool.map(lambda job: replay(qor, *job), jobs))
    failed = 0
    for matched, report in results:
        failed += not matched
        sys.stdout.write(report)
    print(f"{len(jobs) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
