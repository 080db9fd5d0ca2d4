#!/bin/sh
# The profiler's own cost: fib 25 run plainly and under `profile`, in one
# qor process, with the ratio of the two times (the profiled run calls the
# trace handler for every call, prolog, epilog and return). Also checks
# that the report counts every call of fib: 242785 calls for fib 25.
# A run gave a ratio of 9.8 (196 when the handler kept its records in
# interpreted code): about a third is the trace call of the handler, a
# third the call of profiler-step with its arguments, the rest the clock
# readings and the records.
# Usage: bench/devtools.sh [path to qor]  (default: build/release/qor)
set -e
cd "$(dirname "$0")/.."
QOR=${1:-build/release/qor}
[ -x "$QOR" ] || { echo "build qor first (make build)"; exit 1; }
"$QOR" <<'QOR' | grep -E '^(plain|profiled|ratio|fib calls)'
fib: func [n][either n < 2 [n][(fib n - 1) + (fib n - 2)]]
median: func [times][sort times pick times 3]
plain: copy [] loop 5 [t: now/precise fib 25 append plain difference now/precise t] ()
traced: copy [] loop 5 [t: now/precise profile [fib 25] append traced difference now/precise t] ()
p: median plain q: median traced ()
print ["plain" p] print ["profiled" q] print ["ratio" (to float! q) / (to float! p)]
print ["fib calls" second find/only system/tools/profiling 'fib]
QOR
