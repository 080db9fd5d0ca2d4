#!/usr/bin/env python3
"""Replays language transcripts through the real `qor` binary.

A transcript (*.qt) is a table of cases: each `>> ` line is input typed at
the console, and the lines after it, up to the next `>> ` line, are the exact
output the console prints for it when standard input is piped (no prompt, no
echo). Lines before the first `>> ` line are comments. All inputs of a file
go to one `qor` process, so later lines see what earlier lines defined. The
banner the console prints first is not part of any case.

Usage: run_transcripts.py QOR_BINARY TRANSCRIPT_DIR
Exit 0 when every transcript matches, 1 on a mismatch, 77 (skipped) when
`qor` has no console yet.
"""
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


def run(qor, text, cwd, home):
    env = dict(os.environ, HOME=home)
    done = subprocess.run([qor], input=text.encode(), stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, timeout=300, cwd=cwd, env=env)
    out = done.stdout.decode("utf-8", "replace")
    if out.startswith("--== Qor ") and BANNER_END in out:
        out = out[out.index(BANNER_END) + len(BANNER_END):]
    return out


def main():
    qor, folder = sys.argv[1], pathlib.Path(sys.argv[2])
    files = sorted(folder.glob("*.qt"))
    if not files:
        print("transcripts: skipped: no transcript files yet")
        return 77
    # The settings file goes to a directory of the run's own.
    home = tempfile.mkdtemp(prefix="qor-transcripts-")
    if "probe" not in run(qor, 'print "probe"\n', folder, home):
        print("transcripts: skipped: qor has no console yet")
        return 77
    failed = 0
    for path in files:
        cases = parse(path)
        text = "".join(c[0] + "\n" for c in cases)
        expected = "".join("".join(l + "\n" for l in c[1]) for c in cases)
        actual = run(qor, text, folder, home)
        if actual != expected:
            failed += 1
            print(f"FAIL {path.name}")
            sys.stdout.writelines(difflib.unified_diff(
                expected.splitlines(True), actual.splitlines(True), "expected", "actual"))
        else:
            print(f"ok   {path.name} ({len(cases)} cases)")
    shutil.rmtree(home, ignore_errors=True)
    print(f"{len(files) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
