#!/bin/sh
# The qorbin codec on a value tree of about 10 MB, side by side in one run:
# save and load through the codec (compact and fixed encodings), mold and
# load of the same tree as text, and Python's pickle on the same tree built
# in Python. Each time is the best of three. Ratios above 1 mean the qorbin
# codec is faster.
#
# Usage: bench/qorbin.sh [QOR_BINARY]
set -e
cd "$(dirname "$0")/.."
qor="${1:-build/release/qor}"
[ -x "$qor" ] || cmake --build build/release --target qor >/dev/null
script=$(mktemp --suffix=.qor)
trap 'rm -f "$script"' EXIT
# The tree: 100,000 records of an integer, a string, a float, a block of two
# integers, a word, a date and a nested block holding a string; about 10 MB
# of molded text.
cat >"$script" <<'QOR'
Qor []
tree: make block! 100000
repeat i 100000 [
	append/only tree reduce [i rejoin ["record number " i] i * 1.5 reduce [i i + 1] 'name 1-Jan-2020 reduce [rejoin ["nested text of some length " i]]]
]
best: func [code /local t b] [b: none loop 3 [t: to float! dt code if any [none? b t < b] [b: t]] b]
text: none bin: none fixed: none
mold-save: best [text: mold tree]
mold-load: best [load text]
cp-save: best [bin: save/as none tree 'qorbin]
cp-load: best [load/as bin 'qorbin]
fx-save: best [fixed: system/codecs/qorbin/encode* tree false]
fx-load: best [load/as fixed 'qorbin]
print ["sizes" length? to binary! text length? bin length? fixed]
print ["times" mold-save mold-load cp-save cp-load fx-save fx-load]
QOR
out=$("$qor" "$script")
python3 - "$out" <<'PY'
import pickle, sys, time, datetime
fields = {}
for line in sys.argv[1].splitlines():
    parts = line.split()
    if parts and parts[0] in ("sizes", "times"):
        fields[parts[0]] = [float(p) for p in parts[1:]]
if "times" not in fields:
    sys.exit("qor did not report its times:\n" + sys.argv[1])
tree = [[i, "record number %d" % i, i * 1.5, [i, i + 1], "name", datetime.date(2020, 1, 1),
         ["nested text of some length %d" % i]] for i in range(1, 100001)]
def best(f):
    b = None
    for _ in range(3):
        t = time.perf_counter(); f(); t = time.perf_counter() - t
        b = t if b is None or t < b else b
    return b
data = pickle.dumps(tree, protocol=pickle.HIGHEST_PROTOCOL)
p_save = best(lambda: pickle.dumps(tree, protocol=pickle.HIGHEST_PROTOCOL))
p_load = best(lambda: pickle.loads(data))
text, compact, fixed = fields["sizes"]
m_save, m_load, c_save, c_load, f_save, f_load = fields["times"]
print("sizes: mold %.1f MB, compact %.1f MB, fixed %.1f MB, pickle %.1f MB" %
      (text / 1e6, compact / 1e6, fixed / 1e6, len(data) / 1e6))
print("%-28s %10s %10s" % ("", "save", "load"))
print("%-28s %10.4f %10.4f" % ("qorbin compact (s)", c_save, c_load))
print("%-28s %10.4f %10.4f" % ("qorbin fixed (s)", f_save, f_load))
print("%-28s %10.4f %10.4f" % ("mold / load (s)", m_save, m_load))
print("%-28s %10.4f %10.4f" % ("python pickle (s)", p_save, p_load))
print("ratios (above 1: qorbin compact is faster)")
print("%-28s %10.2f %10.2f" % ("  vs mold / load", m_save / c_save, m_load / c_load))
print("%-28s %10.2f %10.2f" % ("  vs python pickle", p_save / c_save, p_load / c_load))
print("%-28s %10.2f %10.2f" % ("  fixed vs mold / load", m_save / f_save, m_load / f_load))
print("%-28s %10.2f %10.2f" % ("  fixed vs python pickle", p_save / f_save, p_load / f_load))
PY
