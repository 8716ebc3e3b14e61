#!/usr/bin/env bash
# Builds the Debian package in the build folder and checks what it holds and
# declares.   usage: check-package.sh BUILD_DIR
set -euo pipefail
build=$1
cd "$build"
rm -f pagegrab_*.deb pagegrab-dbgsym_*.ddeb
cpack -G DEB >/dev/null
deb=$(ls pagegrab_*_*.deb)
symbols=$(ls pagegrab-dbgsym_*_*.ddeb)
[[ $deb =~ ^pagegrab_[0-9.]+_[a-z0-9]+\.deb$ ]] || { echo "unexpected package name: $deb"; exit 1; }

checks=0
failures=0
# check DESCRIPTION COMMAND...: counts the check, and fails it when COMMAND does.
check() {
    local what=$1; shift
    checks=$((checks + 1))
    "$@" || { echo "FAIL: $what"; failures=$((failures + 1)); }
}

contents=$(dpkg-deb -c "$deb")
for path in ./usr/lib/pagegrab/pagegrab ./usr/lib/pagegrab/Convix.dll ./usr/bin/pagegrab \
            ./usr/share/applications/pagegrab.desktop ./usr/share/thumbnailers/pagegrab.thumbnailer \
            ./usr/share/icons/hicolor/scalable/apps/pagegrab.svg \
            ./usr/share/icons/hicolor/32x32/apps/pagegrab.png; do
    check "contains $path" grep -q " $path\$" <<<"$contents"
done
for page in pagegrab pagegrab-batch; do
    check "contains the manual of $page" grep -q " ./usr/share/man/man1/$page.1.gz\$" <<<"$contents"
done
for program in ./usr/lib/pagegrab/pagegrab ./usr/lib/pagegrab/Convix.dll ./usr/lib/pagegrab/pagegrab-batch ./usr/bin/pagegrab \
               ./usr/bin/pagegrab-batch ./usr/lib/pagegrab/pagegrab-thumbnailer ./usr/lib/pagegrab/pagegrab-office-starter; do
    check "$program is executable" grep -qE "^-rwxr-xr-x .* $program\$" <<<"$contents"
done

depends=$(dpkg-deb -f "$deb" Depends)
mapfile -t fonts < "$(dirname "$0")/../../packaging/fonts.txt"
for package in libreoffice-writer libreoffice-draw "${fonts[@]}" libqt6webenginewidgets6 \
               libqt6webenginecore6-bin libqt6widgets6 libuno-cppu3 qt6-translations-l10n xdg-utils; do
    check "depends on $package" grep -qE "(^|, )$package(,|$)" <<<"$depends"
done
check "package name" [ "$(dpkg-deb -f "$deb" Package)" = pagegrab ]

extracted=$(mktemp -d)
trap 'rm -rf "$extracted"' EXIT
dpkg-deb -x "$deb" "$extracted"
desktop="$extracted/usr/share/applications/pagegrab.desktop"
# Hints are advice (two main categories are asked for); errors and warnings are not.
validates() { desktop-file-validate "$desktop" >"$extracted/validate.txt" && ! grep -v ': hint: ' "$extracted/validate.txt"; }
check "desktop entry validates" validates
check "desktop entry name" grep -qx 'Name=Pagegrab' "$desktop"
check "desktop entry categories" grep -qx 'Categories=Office;Graphics;' "$desktop"
check "desktop entry command" grep -qx 'Exec=pagegrab' "$desktop"
check "desktop entry comment in Chinese" grep -q '^Comment=.*[^ -~]' "$desktop"
# The thumbnailer entry: the program it runs is in the package, and it is
# run the way file managers run thumbnailers, for EMF pictures.
thumbnailer="$extracted/usr/share/thumbnailers/pagegrab.thumbnailer"
entry_value() { sed -n "s/^$1=//p" "$thumbnailer"; }
check "thumbnailer entry group" grep -qx '\[Thumbnailer Entry\]' "$thumbnailer"
entry_runs_packaged_program() {
    local program
    program=$(entry_value Exec | cut -d' ' -f1)
    [ -n "$program" ] && [ -x "$extracted$program" ] && [ "$(entry_value TryExec)" = "$program" ]
}
check "thumbnailer entry runs a program of the package" entry_runs_packaged_program
check "thumbnailer entry arguments" [ "$(entry_value Exec | cut -d' ' -f2-)" = '-s %s %i %o' ]
check "thumbnailer entry is for EMF pictures" grep -qx 'MimeType=image/emf;image/x-emf;' "$thumbnailer"
check "copyright file" grep -q " ./usr/share/doc/pagegrab/copyright\$" <<<"$contents"
check "changelog" grep -q " ./usr/share/doc/pagegrab/changelog.gz\$" <<<"$contents"
check "extended description" [ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 1 ]
# The programs are stripped; their symbols are in the debug package.
stripped() { ! readelf -S "$extracted/usr/lib/pagegrab/$1" | grep -q '\.debug_info'; }
for program in pagegrab pagegrab-batch Convix.dll pagegrab-thumbnailer pagegrab-office-starter; do
    check "$program is stripped" stripped "$program"
done
check "the debug package holds the symbols" bash -c "dpkg-deb -c '$symbols' | grep -q '/usr/lib/debug/.build-id/'"
# Debian's own checker finds no error (its warnings are advice); its
# temporary folder goes with ours, as it leaves caches behind.
check "lintian reports no error" env TMPDIR="$extracted" lintian --fail-on error "$deb"

finds_office() { readelf -d "$extracted/usr/lib/pagegrab/$1" | grep -q 'RUNPATH.*/usr/lib/libreoffice/program'; }
for program in pagegrab pagegrab-thumbnailer; do
    check "$program finds the office's runtime" finds_office "$program"
done

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
