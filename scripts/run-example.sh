#!/usr/bin/env bash
# Builds velmora and opens its window on the bundled example, examples/text-2x.ini (the window reads the
# settings file from its current directory). Without a display, shows the example's rows through the
# command line instead.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh" build window
cmake -S "$top" -B "$top/build" -DVELMORA_WINDOW=ON -DVELMORA_TESTS=OFF >/dev/null
cmake --build "$top/build" -j"$(nproc)" >/dev/null
cd "$top/examples"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-example.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so no window;" \
    "the example's rows through velmora-search instead:" >&2
  exec "$top/build/velmora-search" --header
fi
exec "$top/build/velmora"
