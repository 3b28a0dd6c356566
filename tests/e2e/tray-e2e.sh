#!/bin/sh
# End to end: the real latmo on a virtual X display with a window manager and an XEmbed tray.
# Checks that the tray icon shows the number (lime pixels on the icon), that minimising hides
# the window into the tray, and that a click on the icon brings it back.
#   tray-e2e.sh LATMO_BINARY
set -u
latmo=$1
for tool in Xvfb openbox trayer xdotool import convert; do
    command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
done

work=$(mktemp -d /tmp/latmo-e2e.XXXXXX)
display=":$(( 70 + $$ % 200 ))"
pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
    sleep 0.5
    for p in $pids; do kill -9 "$p" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; cp "$work"/*.png /tmp/ 2>/dev/null; exit 1; }

# A copy of its own, so that its settings and logs land in the scratch directory.
cp "$latmo" "$work/latmo"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & pids="$pids $!"
export DISPLAY="$display"
unset QT_QPA_PLATFORM
for i in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 & pids="$pids $!"
trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 & pids="$pids $!"
sleep 1.5
(cd "$work" && exec ./latmo >"$work/latmo.out" 2>&1) & pids="$pids $!"

window=""
for i in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^Latmo' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "the window did not appear"
sleep 2

# The icon sits in trayer's strip at the top right of the screen; its digits are lime.
tx=904; ty=0; tw=120; th=24
import -window root "$work/e2e-start.png"
lime=$(convert "$work/e2e-start.png" -crop "${tw}x${th}+${tx}+${ty}" +repage txt:- | grep -c "#00FF00")
[ "$lime" -gt 5 ] || fail "no lime digits in the tray ($lime pixels)"

# Minimise: the window goes into the tray.
xdotool windowminimize "$window"
sleep 1
xdotool search --onlyvisible --name '^Latmo' 2>/dev/null | grep -q . && fail "the window is still visible after minimising"

# A left click on the icon brings it back.
xdotool mousemove $(( tx + tw - 12 )) $(( ty + th / 2 )) click 1
sleep 1
xdotool search --onlyvisible --name '^Latmo' 2>/dev/null | grep -q . || fail "a click on the icon did not bring the window back"
import -window root "$work/e2e-restored.png"
echo "PASS: tray shows the number ($lime lime pixels), minimise hides, a click restores"
exit 0
