#!/bin/sh
# Host services next to curl and Python: HTTP reads from a local server and
# starting processes. Builds the release qor first.
# Usage: bench/host.sh
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release --target qor >/dev/null
python3 bench/host.py build/release/qor
