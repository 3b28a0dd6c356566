#!/bin/sh
# End to end: the real latmo on a virtual X display with a window manager and an XEmbed tray.
# Checks that the tray icon shows the number (lime pixels on the icon), that minimising hides
# the window into the tray, and that a click on the icon brings it back.
#   tray-e2e.sh LATMO_BINARY
set -u
. "$(dirname "$0")/lib.sh"
e2e_require Xvfb openbox trayer xdotool xwininfo import convert
e2e_setup "$1"
e2e_loopback_ini
trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
e2e_pids="$e2e_pids $!"
sleep 1
e2e_start_latmo
wait_main_window
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
[ -n "$(main_window)" ] && fail "the window is still visible after minimising"

# A left click on the icon brings it back.
xdotool mousemove $(( tx + tw - 12 )) $(( ty + th / 2 )) click 1
sleep 1
[ -n "$(main_window)" ] || fail "a click on the icon did not bring the window back"
import -window root "$work/e2e-restored.png"
echo "PASS: tray shows the number ($lime lime pixels), minimise hides, a click restores"
exit 0
