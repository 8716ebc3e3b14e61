#!/usr/bin/env bash
# Time per thumbnail as a file manager makes them: one pagegrab-thumbnailer
# process per EMF page, at size 256 (GNOME's and tumbler's "large"), one
# after the other. The pages are made from the test documents by
# pagegrab-batch. In the same run the peer, the office's own
# `soffice --convert-to png` of each page with a fresh profile (what a
# thumbnailer entry calling the office directly would do), for a ratio.
# Prints each program's seconds per thumbnail, and last
# `thumbnail: ours S s, peer S s, ratio R`.
# usage: bench/thumbnail-time.sh [BUILD_DIR] [PAGES] [TESTDOCS_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
count=${2:-30}
testdocs=${3:-$top/../shared/testdocs}
thumbnailer=$build/bin/pagegrab-thumbnailer
soffice=/usr/lib/libreoffice/program/soffice
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The pages: every page of the documents that open, the first PAGES of them.
docs=()
for doc in "$testdocs"/*.doc; do
    case $(basename "$doc") in PasswordProtected.doc|fuzzed-unreadable.doc) continue ;; esac
    docs+=("$doc")
done
"$build/bin/pagegrab-batch" --log "$work/batch.log" -- "$work/all" "${docs[@]}" >/dev/null 2>&1 || true
mapfile -t pages < <(find "$work/all" -name '*.emf' | sort -V | head -n "$count")
[ "${#pages[@]}" -gt 0 ] || { echo "no pages made from $testdocs" >&2; exit 1; }
echo "${#pages[@]} pages from $testdocs, size 256, one process each"

now() { date +%s.%N; }
mkdir -p "$work/ours" "$work/peer"

failed=0
start=$(now)
for page in "${pages[@]}"; do
    out="$work/ours/$(basename "$page" .emf).png"
    "$thumbnailer" -s 256 "$page" "$out" || failed=$((failed + 1))
done
ours=$(echo "($(now) - $start) / ${#pages[@]}" | bc -l)
printf 'ours (pagegrab-thumbnailer): %.3f s per thumbnail, %d failed\n' "$ours" "$failed"

failed=0
start=$(now)
for page in "${pages[@]}"; do
    profile=$(mktemp -d "$work/profile-XXXXXX")
    "$soffice" -env:UserInstallation="file://$profile" --headless --convert-to png \
        --outdir "$work/peer" "$page" >/dev/null 2>&1 || failed=$((failed + 1))
    [ -s "$work/peer/$(basename "$page" .emf).png" ] || failed=$((failed + 1))
    rm -rf "$profile"
done
peer=$(echo "($(now) - $start) / ${#pages[@]}" | bc -l)
printf 'peer (soffice --convert-to png, fresh profile): %.3f s per thumbnail, %d failed\n' "$peer" "$failed"
printf 'thumbnail: ours %.3f s, peer %.3f s, ratio %.2f\n' "$ours" "$peer" "$(echo "$ours / $peer" | bc -l)"
