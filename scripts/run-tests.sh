#!/usr/bin/env bash
# Builds velmora and runs every test: the plain build with the window (its widget tests on Qt's offscreen
# platform, then the real window under Xvfb), the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the settings-loader fuzzer and the fast engine's differential fuzzer,
# each for a bounded time.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
fuzz_seconds=${VELMORA_FUZZ_SECONDS:-60}

"$top/scripts/install-deps.sh" build window

echo "== build and test =="
cmake -S "$top" -B "$top/build" -DVELMORA_WINDOW=ON -DVELMORA_TESTS=ON >/dev/null
cmake --build "$top/build" -j"$jobs"
ctest --test-dir "$top/build" --output-on-failure -j"$jobs"

echo "== the window under Xvfb (screenshots in build/screenshots/) =="
bash "$top/tests/window/xvfb_check.sh" "$top/build"

echo "== AddressSanitizer and UndefinedBehaviorSanitizer =="
cmake -S "$top" -B "$top/build-asan" -DVELMORA_WINDOW=ON -DVELMORA_TESTS=ON -DVELMORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build-asan" -j"$jobs"
ctest --test-dir "$top/build-asan" --output-on-failure -j"$jobs"

echo "== fuzzing the settings loader for ${fuzz_seconds} s =="
CXX=clang++ cmake -S "$top" -B "$top/build-fuzz" -DVELMORA_WINDOW=OFF -DVELMORA_TESTS=OFF -DVELMORA_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build-fuzz" -j"$jobs" --target settings_file_fuzzer search_fuzzer
mkdir -p "$top/build-fuzz/corpus"
"$top/build-fuzz/fuzz/settings_file_fuzzer" -max_total_time="$fuzz_seconds" -max_len=65536 \
  "$top/build-fuzz/corpus" "$top/fuzz/seeds" 2>&1 | tail -n 3

echo "== fuzzing the fast engine against the reference engine for ${fuzz_seconds} s =="
mkdir -p "$top/build-fuzz/corpus-search"
"$top/build-fuzz/fuzz/search_fuzzer" -max_total_time="$fuzz_seconds" -max_len=128 \
  "$top/build-fuzz/corpus-search" "$top/fuzz/seeds-search" 2>&1 | tail -n 3
bash "$top/scripts/test-windows.sh"

# The packages, after the Windows part (the zip comes from its cross build): the Debian package installed
# on this machine and removed again, the Windows zip unpacked and run under wine.
bash "$top/scripts/package.sh"
