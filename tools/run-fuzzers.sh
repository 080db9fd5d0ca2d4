#!/bin/sh
# Runs every fuzz target in a build folder for a few seconds each; a crash in
# any of them fails the run.
dir="$1"
seconds="${2:-10}"
status=0
found=0
for target in "$dir"/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  corpus="$dir/corpus/$name"
  mkdir -p "$corpus" "$dir/crashes"
  # Seed inputs kept in the repository, read but never written.
  seeds="$(dirname "$0")/../tests/fuzz/corpus/$name"
  [ -d "$seeds" ] || seeds=""
  echo "fuzzing $name for ${seconds}s"
  if "$target" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="$dir/crashes/$name-" "$corpus" $seeds >"$dir/$name.log" 2>&1; then
    grep -E 'stat::number_of_executed_units' "$dir/$name.log" || true
  else
    echo "$name FAILED"; tail -n 40 "$dir/$name.log"; status=1
  fi
done
[ "$found" = 1 ] || echo "no fuzz targets"
exit $status
