#!/usr/bin/env bash
# The command on the hard families: time and peak memory of --count and of the listing, 3 runs each.
#
#   bench/bench-hard.sh [path/to/velmora-search] [path/to/hard_search]
#                               (defaults: build/velmora-search, build/bench/hard_search)
#
# The settings files come from hard_search --settings; another build's velmora-search can be timed
# on the same files. Needs GNU time (/usr/bin/time).
set -euo pipefail
bin=$(realpath "${1:-build/velmora-search}")
hard=$(realpath "${2:-build/bench/hard_search}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$hard" --settings "$work"
for f in HM60-ascending HM60-descending HM81-ascending HM81-descending RW60-ascending RW60-descending \
         RW81-ascending RW81-descending HM-overflow; do
    for mode in --count --list; do
        for run in 1 2 3; do
            args=("$work/$f.ini")
            [[ $mode == --count ]] && args=(--count "${args[@]}")
            /usr/bin/time -o "$work/time" -f "%e s wall, %U s user, %M KB" "$bin" "${args[@]}" >/dev/null 2>&1 || true
            echo "$f ${mode#--} run $run: $(cat "$work/time" | grep -v status)"
        done
    done
done
