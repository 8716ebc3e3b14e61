#!/usr/bin/env bash
# Screenshots of the installed package as an ordinary user sees it on a
# desktop, each under its own Xvfb: Thunar's thumbnails of the pages,
# Convix's preview, and documents dragged from Thunar onto the job list.
# Not run by the test suite; needs xvfb, thunar, tumbler, dbus-x11,
# xdotool and imagemagick, and the package installed.
#   usage (as root): desktop-screens.sh USER DOCUMENT... ; the pictures go
#   to USER's home as thunar.png, convix-preview.png and drop-after.png.
set -euo pipefail
user=$1; shift
docs=$(mktemp -d); cp "$@" "$docs"; chmod -R a+rX "$docs"
trap 'rm -rf "$docs"' EXIT

as_user() { su - "$user" -c "$1"; }
on_screen() { # DISPLAY SIZE COMMANDS: COMMANDS in a session of their own on a fresh Xvfb
    as_user "export DISPLAY=$1; Xvfb $1 -screen 0 $2 -nolisten tcp >/dev/null 2>&1 & x=\$!; sleep 2;
             dbus-run-session -- bash -c '$3' >/dev/null 2>&1; kill \$x"
}

as_user "rm -rf ~/pages ~/docs ~/.cache/thumbnails && mkdir ~/docs && cp $docs/* ~/docs/ && pagegrab-batch ~/pages/ ~/docs/*"

on_screen :42 1280x900x24 '
  thunar ~/pages & t=$!
  w=$(timeout 30 xdotool search --sync --onlyvisible --class thunar | head -1)
  xdotool windowsize $w 1270 890; sleep 1
  xdotool key ctrl+0; sleep 1
  for i in 1 2 3; do xdotool key ctrl+plus; sleep 1; done
  sleep 40; import -window root ~/thunar.png; kill $t'

on_screen :43 1400x950x24 '
  /usr/lib/pagegrab/Convix.dll emf@pagegrab.example ~/pages/ & c=$!
  w=$(timeout 20 xdotool search --sync --onlyvisible --pid $c | head -1)
  xdotool windowmove $w 0 0; sleep 2
  xdotool mousemove 60 95 click 1; sleep 1; xdotool key End; sleep 10
  import -window root ~/convix-preview.png; kill $c; wait $c'

# Thunar on the left, Pagegrab on the right; every document dragged at once.
on_screen :44 1600x950x24 '
  thunar ~/docs & t=$!
  pagegrab & p=$!
  tw=$(timeout 30 xdotool search --sync --onlyvisible --class thunar | head -1)
  xdotool windowsize $tw 560 600 windowmove $tw 0 0
  xdotool mousemove 300 300 key ctrl+0
  pw=$(timeout 60 xdotool search --sync --onlyvisible --pid $p | tail -1)
  sleep 5; xdotool windowmove $pw 580 0; sleep 2
  xdotool mousemove 258 158; sleep 0.5; xdotool key ctrl+a; sleep 0.5
  xdotool mousedown 1; sleep 0.3
  for i in $(seq 10); do xdotool mousemove_relative -- 69 -2; sleep 0.1; done
  sleep 0.5; xdotool mouseup 1; sleep 2
  import -window root ~/drop-after.png; kill $t $p; wait $p'
