#!/usr/bin/env bash
# Every C++ source is formatted as .clang-format says; lists the files that
# are not, with what clang-format would change.
set -euo pipefail
top=$1
cd "$top"
folders=(app bench cli conversion convix gui imageconv joblist log office platform tests)
mapfile -t sources < <(find "${folders[@]}" \( -name '*.cpp' -o -name '*.h' \) | sort)
[ ${#sources[@]} -gt 0 ] || { echo "no sources found under $top" >&2; exit 1; }
clang-format --dry-run --Werror "${sources[@]}"
echo "${#sources[@]} sources formatted as .clang-format says"
