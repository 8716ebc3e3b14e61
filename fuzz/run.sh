#!/usr/bin/env bash
# Fuzzes every parser of strangers' bytes with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer: builds each harness with clang in build-fuzz/,
# then runs each for MINUTES minutes (default 3) at low priority, and prints
# each one's executions and coverage. Inputs that crash are kept in
# build-fuzz/crashes/NAME/. Not part of the test run; needs what
# `scripts/dev.sh test` installs, and installs clang where it is missing.
#   fuzz/run.sh [MINUTES] [NAME...]
set -euo pipefail

minutes=${1:-3}
shift || true
top=$(cd "$(dirname "$0")/.." && pwd)
out="$top/build-fuzz"
testdocs=${PAGEGRAB_TESTDOCS:-$top/../shared/testdocs}

if ! command -v clang++ >/dev/null; then
    sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang >/dev/null
fi

# Each harness: its name, the sources it needs, its seeds (the real test
# documents, or small files of each kind), the longest input it is given.
harnesses=(
    "word_file|wordfile/WordFileDamage.cpp wordfile/CompoundFile.cpp|$testdocs|65536"
    "emf|emf/Records.cpp emf/RecordCount.cpp emf/TransparentFills.cpp|$top/fuzz/seeds/emf|131072"
    "whole_picture|convix/Batch.cpp emf/WholePicture.cpp emf/Records.cpp platform/RegularFile.cpp platform/NativePath.cpp platform/WholeFile.cpp|$top/fuzz/seeds/emf|65536"
    "plain_text_log|log/PlainTextLog.cpp platform/RegularFile.cpp platform/NativePath.cpp|$top/fuzz/seeds/plain_text_log|8192"
    "cgroup|sandbox/Memory.cpp|$top/fuzz/seeds/cgroup|4096"
)
declare -A sources seeds longest
all=()
for harness in "${harnesses[@]}"; do
    IFS='|' read -r name files seed most <<<"$harness"
    sources[$name]=$files seeds[$name]=$seed longest[$name]=$most
    all+=("$name")
done
# Convix's look at a picture draws with Qt's GUI library.
declare -A modules=([whole_picture]="Qt6Core Qt6Gui")

names=("$@")
[ ${#names[@]} -eq 0 ] && names=("${all[@]}")
flags=(-std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fPIC -I"$top")
mkdir -p "$out"
for name in "${names[@]}"; do
    read -r -a files <<<"${sources[$name]}"
    read -r -a qt <<<"${modules[$name]:-Qt6Core}"
    # shellcheck disable=SC2046
    nice clang++ "${flags[@]}" $(pkg-config --cflags "${qt[@]}") "$top/fuzz/$name.cpp" "${files[@]/#/$top/}" \
        $(pkg-config --libs "${qt[@]}") -o "$out/$name"
done

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
report=()
for name in "${names[@]}"; do
    mkdir -p "$out/corpus/$name" "$out/crashes/$name"
    status=0
    nice "$out/$name" -max_total_time=$((minutes * 60)) -max_len="${longest[$name]}" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$out/crashes/$name/" "$out/corpus/$name" "${seeds[$name]}" \
        >"$out/$name.log" 2>&1 || status=$?
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/$name.log" | grep -o '[0-9]*$' || echo 0)
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$out/$name.log" | tail -1)
    report+=("$(printf '%-16s %12s runs  %-22s %s' "$name" "$runs" "$coverage" \
        "$([ $status -eq 0 ] && echo 'no crash' || echo "CRASH, see $out/$name.log")")")
done
printf '%s\n' "${report[@]}"
