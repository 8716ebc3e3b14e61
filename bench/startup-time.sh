#!/usr/bin/env bash
# Time from starting Pagegrab to its window being shown (the office check
# included), under a private Xvfb display. Prints each run and the median.
# Needs xvfb and x11-utils.   usage: bench/startup-time.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-build}
runs=${2:-5}
display=:$((100 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb' EXIT
sleep 1

times=()
for _ in $(seq "$runs"); do
    start=$(date +%s.%N)
    DISPLAY=$display "$build/bin/pagegrab" >/dev/null 2>&1 &
    app=$!
    until DISPLAY=$display xwininfo -name Pagegrab 2>/dev/null | grep -q 'IsViewable'; do sleep 0.02; done
    end=$(date +%s.%N)
    kill "$app"; wait "$app" 2>/dev/null || true
    t=$(echo "$end - $start" | bc)
    times+=("$t")
    echo "run: $t s"
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print "median: " a[int((NR+1)/2)] " s"}'
