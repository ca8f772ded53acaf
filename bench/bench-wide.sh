#!/usr/bin/env bash
# The families of 128 to 256 values a term: the count by the command and the listing by the engine
# alone (into a counting sink), with time and peak memory, for one build or for two alternately.
#
#   bench/bench-wide.sh BUILD [OTHER_BUILD]     (folders configured with -DVELMORA_BENCH=ON)
#
# The random-weight listings at 200 and 256 values (5·10^9 and 3.5·10^10 solutions) are left out.
# Needs GNU time (/usr/bin/time).
set -euo pipefail
builds=("$@")
[[ ${#builds[@]} -ge 1 ]] || { echo "usage: $0 BUILD [OTHER_BUILD]" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"${builds[0]}/bench/hard_search" --settings "$work"
for f in RW128-ascending RW128-descending HM128-ascending HM128-descending RW160-ascending RW160-descending \
         HM160-ascending HM160-descending HM200-ascending HM200-descending RW200-ascending RW200-descending \
         HM256-ascending HM256-descending RW256-ascending RW256-descending; do
    for build in "${builds[@]}"; do
        /usr/bin/time -o "$work/time" -f "%e s %U s user %M KB" "$build/velmora-search" --count "$work/$f.ini" >"$work/out"
        echo "$f $build count $(cat "$work/out") $(cat "$work/time") load $(cut -d' ' -f1 /proc/loadavg)"
        case $f in RW200* | RW256*) continue ;; esac
        /usr/bin/time -o "$work/time" -f "%e s %U s user %M KB" "$build/bench/engine_once" "$work/$f.ini" >"$work/out"
        echo "$f $build list $(cat "$work/out") $(cat "$work/time") load $(cut -d' ' -f1 /proc/loadavg)"
    done
done
