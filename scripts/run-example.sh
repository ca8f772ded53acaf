#!/usr/bin/env bash
# Builds velmora and runs it on the bundled example, examples/text-2x.ini.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" build
cmake -S "$top" -B "$top/build" -DVELMORA_WINDOW=OFF -DVELMORA_TESTS=OFF >/dev/null
cmake --build "$top/build" -j"$(nproc)" >/dev/null
cd "$top/examples"
"$top/build/velmora-search" --header
