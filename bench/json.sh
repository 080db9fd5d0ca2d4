#!/bin/sh
# The JSON and CSV codecs next to Python's json and csv modules, in one run:
# load-json and to-json of a 10 MB document of records, and load-csv of a
# 10 MB file. Prints the best of three times of each side and the ratios
# (qor time / Python time: below 1 means qor is faster).
#
# A run on an 8-core x86-64 machine gave: load-json 0.9, to-json 2.4,
# load-csv 0.6 (before the codecs had their built-in paths: 9.6, 18.6, 2.4).
# load-json reads well-formed text with the built-in json-decode and
# to-json walks the value with json-encode; load-csv cuts aligned rows with
# csv-rows. The PARSE grammars still read what those leave (text that is not
# JSON, so that the error names its place; records, trimmed values and
# unaligned CSV lines). to-json's remaining cost is the formed text of the
# floats and the copy of the gathered text into the string.
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQOR_BENCH=ON -DQOR_TESTS=OFF >/dev/null
ninja -C build-bench qor >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import json, random, sys
random.seed(11)
records, size, i = [], 0, 0
while size < 10_000_000:
    r = {"id": i, "name": "user %d" % i, "email": "u%d@example.org" % i,
         "score": round(random.random() * 100, 3), "active": i % 3 == 0,
         "tags": ["alpha", "b\u00e9ta", "line\nbreak"], "address": {"city": "Paris", "zip": "75%03d" % (i % 1000)},
         "note": None}
    records.append(r)
    size += len(json.dumps(r)) + 1
    i += 1
open(sys.argv[1] + "/data.json", "w", encoding="utf-8").write(json.dumps(records))
lines, size, i = [], 0, 0
while size < 10_000_000:
    line = '%d,user %d,"Street %d, Paris",%0.3f,"said ""hi""",x\r\n' % (i, i, i, random.random() * 100)
    lines.append(line)
    size += len(line)
    i += 1
open(sys.argv[1] + "/data.csv", "w", encoding="utf-8", newline="").write("".join(lines))
PY

# One qor run times each task with the clock around it, best of three.
cat > "$work/tasks.qor" <<QOR
Qor []
t: read %$work/data.json
c: read %$work/data.csv
best: func [code /local t0 d b] [
	b: none
	loop 3 [t0: now/precise do code d: to float! difference now/precise t0 b: either b [min b d][d]]
	b
]
print [best [v: load-json t] best [to-json v] best [load-csv c]]
QOR

python3 - "$work" build-bench/qor <<'PY'
import csv, io, json, subprocess, sys, time
work, qor = sys.argv[1], sys.argv[2]

text = open(f"{work}/data.json", encoding="utf-8").read()
ctext = open(f"{work}/data.csv", encoding="utf-8", newline="").read()
def best(f):
    # the best of three runs, as on the qor side
    times = []
    for _ in range(3):
        t = time.perf_counter(); r = f(); times.append(time.perf_counter() - t)
    return min(times), r
py_load, value = best(lambda: json.loads(text))
py_dump, _ = best(lambda: json.dumps(value, ensure_ascii=False))
py_csv, _ = best(lambda: list(csv.reader(io.StringIO(ctext, newline=""))))

out = subprocess.run([qor, f"{work}/tasks.qor"], check=True, capture_output=True, text=True).stdout
q_load, q_dump, q_csv = (float(x) for x in out.split())
print(f"{'task':10} {'qor s':>8} {'python s':>9} {'ratio':>7}")
for name, q, p in (("load-json", q_load, py_load), ("to-json", q_dump, py_dump), ("load-csv", q_csv, py_csv)):
    print(f"{name:10} {q:8.3f} {p:9.3f} {q / p:7.1f}")
PY
