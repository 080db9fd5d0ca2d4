#!/bin/sh
# PARSE over a 10 MB log-style text next to Python's `re` doing the same
# work, in one run: splitting every line into its fields, and validating
# the whole text against a line grammar. Prints the times and the ratios
# (qor time / Python time: below 1 means PARSE is faster).
# A run on an 8-core x86-64 machine gave: split 1.72, validate 0.28.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BENCH=ON -DQOR_TESTS=OFF >/dev/null
ninja -C build-bench qor >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/log.txt" <<'PY'
import random, sys
random.seed(7)
levels = ["INFO", "WARN", "ERROR", "DEBUG"]
paths = ["/api/v1/items", "/api/v1/users", "/static/app.js", "/health", "/api/v2/orders/search"]
out, size = [], 0
i = 0
while size < 10_000_000:
    line = "2026-12-%02d %02d:%02d:%02d %s [worker-%d] request id=%d took %dms path=%s\n" % (
        1 + i % 28, i % 24, i % 60, (i * 7) % 60, levels[i % 4], i % 16,
        random.randrange(100000), random.randrange(2000), paths[i % 5])
    out.append(line); size += len(line); i += 1
open(sys.argv[1], "w").write("".join(out))
PY

python3 - "$work/log.txt" > "$work/py.txt" <<'PY'
import re, sys, time
text = open(sys.argv[1]).read()
t = time.process_time()
fields = re.findall(r"[^ \n]+", text)
split = time.process_time() - t
line = re.compile(r"(?:\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [A-Z]+ \[[a-z0-9-]+\] [^\n]*\n)*")
t = time.process_time()
ok = line.fullmatch(text) is not None
valid = time.process_time() - t
print(split, valid, len(fields), ok)
PY

# Three scripts: reading alone, then reading and each task; the CPU time of
# a task is its script's less that of reading (so a loaded machine does not
# skew the comparison as wall-clock time would).
common='text: read %'"$work"'/log.txt
field: complement charset " ^/"
digit: charset "0123456789"
upper: charset [#"A" - #"Z"]
name: charset [#"a" - #"z" #"0" - #"9" #"-"]
other: complement charset "^/"
line: [4 digit "-" 2 digit "-" 2 digit " " 2 digit ":" 2 digit ":" 2 digit " " some upper " [" some name "] " any other newline]'
printf 'Qor []\n%s\n' "$common" > "$work/read.qor"
printf 'Qor []\n%s\nfields: parse text [collect [any [keep some field | skip]]]\nprint length? fields\n' "$common" > "$work/split.qor"
printf 'Qor []\n%s\nprint parse text [any line]\n' "$common" > "$work/valid.qor"

python3 - "$work" "$work/py.txt" <<'PY'
import os, resource, subprocess, sys
work = sys.argv[1]
def cpu(script):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    out = subprocess.run(["./build-bench/qor", os.path.join(work, script)], capture_output=True, text=True).stdout.split()
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime, out
base = min(cpu("read.qor")[0] for _ in range(3))
split, count = cpu("split.qor")
valid, ok = cpu("valid.qor")
py = open(sys.argv[2]).read().split()
print("PARSE vs Python re on a 10 MB log text, CPU seconds (ratio = qor / Python)")
print("%-36s %10s %10s %8s" % ("task", "qor", "python", "ratio"))
for name, q, p in (("split into fields (%s)" % count[0], split - base, py[0]), ("validate every line", valid - base, py[1])):
    print("%-36s %10.3f %10.3f %8.2f" % (name, q, float(p), q / float(p)))
if count[0] != py[2] or (ok[0] == "true") != (py[3] == "True"):
    print("results differ: qor", count, ok, "python", py[2:])
    sys.exit(1)
PY
