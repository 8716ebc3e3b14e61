#!/usr/bin/env bash
# Every C++ source is formatted as .clang-format says; lists the files that
# are not, with what clang-format would change. Formatting differs between
# clang-format's major versions: the one Debian 12 ships decides.
set -euo pipefail
top=$1
cd "$top"
if ! version=$(clang-format --version 2>/dev/null); then
    echo "clang-format is not installed (scripts/dev.sh test installs it)" >&2
    exit 1
fi
if [[ ! $version =~ version\ 14\. ]]; then
    echo "skipped: the format is clang-format 14's, this is: $version"
    exit 77
fi
folders=(app bench cli conversion convix fuzz gui imageconv joblist log office platform tests)
mapfile -t sources < <(find "${folders[@]}" \( -name '*.cpp' -o -name '*.h' \) | sort)
[ ${#sources[@]} -gt 0 ] || { echo "no sources found under $top" >&2; exit 1; }
clang-format --dry-run --Werror "${sources[@]}"
echo "${#sources[@]} sources formatted as .clang-format says"
