#!/usr/bin/env bash
# The program as a person meets it on a desktop: Xvfb with openbox, the
# real office, keys and clicks sent through the X server, and a recording
# xdg-open first on PATH. A run with a failing document is answered from
# the keyboard and the log must reach the opener; a second start must bring
# the minimised window back; a long run is stopped from its button and the
# output folder opened from the end's box; another long run is closed
# through the window manager and must end early, its window gone.
#   usage: window-on-desktop.sh BUILD_DIR TESTDOCS [SCREENSHOT_DIR]
# Screenshots need imagemagick's import.
set -euo pipefail
build=$1 testdocs=$2 shots=${3:-}
pagegrab="$build/bin/pagegrab"

top=$(mktemp -d)
mkdir -p "$top/home" "$top/tmp" "$top/bin" "$top/docs" "$top/long"
pids=()
# Ours only, by process id: the display, the window manager, the program,
# and any office left under our temporary folder.
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    for cmdline in /proc/[0-9]*/cmdline; do
        if grep -qF "$top/" "$cmdline" 2>/dev/null; then
            pid=${cmdline#/proc/}; kill -9 "${pid%/cmdline}" 2>/dev/null || true
        fi
    done
    rm -rf "$top"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    cat "$top/pagegrab.out" "$top/opened.txt" >&2 2>/dev/null || true
    [ -z "$shots" ] || import -window root "$shots/failed.png"
    exit 1
}
# until TIMEOUT COMMAND...: until COMMAND succeeds, at most TIMEOUT seconds.
until_ok() {
    local end=$((SECONDS + $1)); shift
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.2
    done
}
shot() { [ -z "$shots" ] || import -window root "$shots/$1"; }

printf '#!/bin/sh\nprintf "%%s\\n" "$@" >> "%s/opened.txt"\n' "$top" > "$top/bin/xdg-open"
chmod +x "$top/bin/xdg-open"
printf 'not a word-processor document\n' > "$top/docs/bad.doc"
cp "$testdocs/simple.doc" "$top/docs/good.doc"
for i in $(seq -w 1 40); do cp "$testdocs/simple.doc" "$top/long/page$i.doc"; done

Xvfb -displayfd 3 -screen 0 1280x900x24 -dpi 96 -nolisten tcp 3>"$top/display" 2>/dev/null &
pids+=($!)
until_ok 20 test -s "$top/display" || fail "Xvfb did not start"
export DISPLAY=:$(cat "$top/display")
export HOME="$top/home" TMPDIR="$top/tmp" PATH="$top/bin:$PATH" XDG_CONFIG_HOME="$top/home/.config"
unset XDG_RUNTIME_DIR
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
until_ok 20 wmctrl -m || fail "openbox did not start"

"$pagegrab" >"$top/pagegrab.out" 2>&1 &
program=$!
pids+=($program)
until_ok 90 xdotool search --onlyvisible --pid "$program" --name '^Pagegrab$' || fail "no window"
window=$(xdotool search --onlyvisible --pid "$program" --name '^Pagegrab$' | head -1)
xdotool windowactivate --sync "$window"
sleep 1

# Where the controls stand in the window, in pixels at 96 dpi.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.5; }
active() { xdotool getactivewindow; }
other_active() { local a; a=$(active) && [ "$a" != "$window" ] && [ "$a" != "${1:-}" ]; }
# A new window (dialog or box) in front: its id.
next_modal() { until_ok 60 other_active "${1:-}" || fail "no dialog came up"; sleep 0.5; active; }
set_box() { click "$1" "$2"; xdotool key ctrl+a; xdotool type --delay 5 "$3"; }

# A batch with a failing document, the files picked in the add-files dialog.
click 42 36
next_modal >/dev/null
xdotool type --delay 5 "$top/docs/"; xdotool key Return; sleep 1
xdotool type --delay 5 '"bad.doc" "good.doc"'; xdotool key Return; sleep 1
set_box 380 348 "$top/out1"
set_box 406 415 "$top/run.log"
click 216 549
box=$(next_modal)
xdotool key Return
next_modal "$box" >/dev/null
xdotool key Return
until_ok 20 grep -qxF "file://$top/run.log" "$top/opened.txt" || fail "the log did not reach the opener"
grep -q "bad.doc" "$top/run.log" || fail "the failing document is not in the log"
[ -f "$top/out1/good-1.emf" ] || fail "the good document was not converted"

# A second start brings the minimised window back, and ends.
xdotool windowminimize --sync "$window"
timeout 60 "$pagegrab" || fail "the second start did not end cleanly"
until_ok 10 sh -c "! xprop -id $window _NET_WM_STATE | grep -q HIDDEN" || fail "the window stayed minimised"
until_ok 10 sh -c "[ \"\$(xdotool getactivewindow)\" = $window ]" || fail "the window is not in front"
sleep 1

# A long run, stopped from its button: the window stays, the end offers
# the output folder.
click 42 232
next_modal >/dev/null
xdotool key Return
sleep 1
click 42 104
dialog=$(next_modal)
xdotool mousemove --window "$dialog" 128 38 click 1
xdotool type --delay 5 "$top/long"
xdotool mousemove --window "$dialog" 256 122 click 1
sleep 1
set_box 380 348 "$top/out2"
click 216 549
until_ok 120 sh -c "ls '$top/out2' | grep -q emf" || fail "the long run wrote nothing"
click 216 549
shot run-stopping.png
box=$(next_modal)
sleep 1
shot run-stopped-open-folder.png
xdotool key Tab space
until_ok 20 grep -qxF "file://$top/out2/" "$top/opened.txt" || fail "the output folder did not reach the opener"
written=$(ls "$top/out2" | wc -l)
[ "$written" -lt 40 ] || fail "the stopped run went on to its end"
kill -0 "$program" || fail "the window went with the stop"

# Another long run, closed through the window manager.
until_ok 20 sh -c "[ \"\$(xdotool getactivewindow)\" = $window ]" || fail "the window did not come back"
set_box 380 348 "$top/out3"
click 216 549
until_ok 120 sh -c "ls '$top/out3' | grep -q emf" || fail "the third run wrote nothing"
wmctrl -i -c "$window"
until_ok 90 sh -c "! kill -0 $program" || fail "the window did not close"
wait "$program" || fail "the program ended with status $?"
written=$(ls "$top/out3" | wc -l)
[ "$written" -lt 40 ] || fail "the closed run went on to its end ($written pictures)"
for cmdline in /proc/[0-9]*/cmdline; do
    ! grep -qF "$top/" "$cmdline" 2>/dev/null || fail "an office outlived the window: $cmdline"
done
echo "ok: stopped after $(ls "$top/out2" | wc -l), closed after $written of 40 documents"
