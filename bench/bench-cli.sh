#!/usr/bin/env bash
# Measures the whole command, velmora-search, on the benchmark workloads: output rate of the listing,
# --count times, the overflow stop of W4, and peak memory (maximum resident set) of every workload.
#
#   bench/bench-cli.sh [path/to/velmora-search]      (default: build/velmora-search)
#   bench/bench-cli.sh --settings DIR                  only write the settings files W1.ini .. W6.ini and
#                                                      COUNT.ini into DIR, to time one of them by hand
#
# Needs hyperfine and GNU time (/usr/bin/time). Writes the settings files to a temporary folder.
set -euo pipefail

if [[ "${1:-}" == --settings ]]; then
    mkdir -p "${2:?a folder}"
    work=$(realpath "$2")
    only_settings=1
else
    bin=$(realpath "${1:-build/velmora-search}")
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    only_settings=0
fi

# settings NAME TARGET "W1 .. W8" "FIRST LAST" x8: writes $work/NAME.ini with CR LF line ends.
settings() {
    local name=$1 target=$2 weights=$3
    shift 3
    {
        printf '%s\r\n' "$target"
        for k in 1 2 3 4 5 6 7 8; do printf 'T%s\r\n' "$k"; done
        for w in $weights; do printf '%s\r\n' "$w"; done
        for range in "$@"; do
            set -- $range
            printf '%s\r\n%s\r\n' "$1" "$2"
        done
    } >"$work/$name.ini"
}

every() { for _ in 1 2 3 4 5 6 7 8; do printf '%s\n' "$1 $2"; done; }
mapfile -t r0_12 < <(every 0 12)
mapfile -t r0_15 < <(every 0 15)
mapfile -t r0_40 < <(every 0 40)
mapfile -t r0_9 < <(every 0 9)
mapfile -t r0_120 < <(every 0 120)

shopping="98 128 158 198 248 298 398 498"
wide="100003 200017 300007 400009 500009 600011 700001 800011"
w3target=$((100003*3 + 200017*5 + 300007*7 + 400009*11 + 500009*13 + 600011*17 + 700001*19 + 800011*23))

settings W1 3000 "$shopping" "${r0_12[@]}"
settings W2 270 "1 2 3 4 5 6 7 8" "${r0_15[@]}"
settings W3 "$w3target" "$wide" "${r0_40[@]}"
settings W4 3000 "98 128 158 198 248 298 398 100000000" "${r0_12[@]:0:7}" "0 30"
settings W5 3000 "0 128 158 198 248 298 398 498" "-32768 32767" "${r0_12[@]:1:7}"
settings W6 200 "3 5 7 11 13 17 19 23" "${r0_9[@]}"
settings COUNT 2200 "1 2 3 4 5 6 7 8" "${r0_120[@]}"
if ((only_settings)); then
    echo "settings files written to $work"
    exit 0
fi

cd "$work"
echo "== output rate, W2 to /dev/null"
bytes=$("$bin" W2.ini | wc -c)
echo "W2 writes $bytes bytes ($("$bin" --count W2.ini) rows)"
hyperfine --warmup 1 --runs 5 --export-json w2.json "$bin W2.ini >/dev/null"
mean=$(python3 -c "import json; print(json.load(open('w2.json'))['results'][0]['mean'])")
python3 -c "print('W2 output rate: %.0f MB/s' % ($bytes / $mean / 1e6))"

echo "== --count"
for w in W3 COUNT W2; do echo "$w: $("$bin" --count $w.ini)"; done
hyperfine -N --warmup 2 --runs 20 "$bin --count W3.ini" "$bin --count COUNT.ini"

echo "== W4: the same listing and stop as the reference"
set +e
"$bin" W4.ini >w4-fast.txt 2>w4-fast.err; fast_status=$?
"$bin" --reference W4.ini >w4-ref.txt 2>w4-ref.err; ref_status=$?
set -e
echo "exit status fast $fast_status, reference $ref_status; $(wc -l <w4-fast.txt) rows"
cmp w4-fast.txt w4-ref.txt && cmp w4-fast.err w4-ref.err && echo "W4 listing and error identical"

echo "== peak memory (maximum resident set size)"
for w in W1 W2 W3 W4 W5 W6; do
    kb=$( (/usr/bin/time -v "$bin" $w.ini >/dev/null || true) 2>&1 | awk '/Maximum resident/ {print $6}')
    ckb=$( (/usr/bin/time -v "$bin" --count $w.ini >/dev/null || true) 2>&1 | awk '/Maximum resident/ {print $6}')
    echo "$w: listing $((kb / 1024)) MB, --count $((ckb / 1024)) MB"
done
ckb=$( (/usr/bin/time -v "$bin" --count COUNT.ini >/dev/null) 2>&1 | awk '/Maximum resident/ {print $6}')
echo "COUNT: --count $((ckb / 1024)) MB"
