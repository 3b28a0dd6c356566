#!/bin/sh
# End to end: the real latmo on a virtual X display with a window manager and an XEmbed tray.
# Checks that the window starts where the settings file puts it, that the tray icon shows the
# number (lime pixels on the icon), that minimising hides the window into the tray, and that a
# click on the icon, "Show" in its menu and the tray's end bring it back exactly where it was,
# round after round; that the icon returns with a new tray; and that SIGTERM saves the place.
#   tray-e2e.sh LATMO_BINARY
set -u
. "$(dirname "$0")/lib.sh"
e2e_require Xvfb openbox trayer xdotool xwininfo xprop import convert
e2e_setup "$1"
norm="300,200,695,571"
e2e_loopback_ini "NormPos=$norm"
e2e_start_trayer
trayer=$!
e2e_start_latmo
wait_main_window
[ -n "$window" ] || fail "the window did not appear"

# NormPos is the frame's rectangle; the client area lies inside the frame openbox draws.
for i in $(seq 50); do
    extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ,)
    [ -n "$extents" ] && break
    sleep 0.1
done
[ -n "$extents" ] || fail "openbox gave the window no frame"
placed=$(echo "$norm $extents" | tr , ' ' | awk '{ print $1 + $5, $2 + $7, $3 - $1 - $5 - $6, $4 - $2 - $7 - $8 }')
start=$(window_geometry "$window")
[ "$start" = "$placed" ] || fail "the window starts at $start (x y width height), not at $placed"

# The icon sits in trayer's strip at the top right of the screen; its digits are lime.
# tray_number SHOT: whether the tray shows the number (10 s at most); $lime counts its pixels.
tx=904; ty=0; tw=120; th=24
tray_number() {
    for i in $(seq 50); do
        import -window root "$work/$1.png"
        lime=$(lime_pixels "$work/$1.png" "${tw}x${th}+${tx}+${ty}")
        [ "$lime" -gt 5 ] && return 0
        sleep 0.2
    done
    return 1
}
tray_number e2e-start || fail "no lime digits in the tray ($lime pixels)"

# minimise_to_tray ROUND: the window goes into the tray, and the program hears of it there.
minimise_to_tray() {
    xdotool windowminimize "$window"
    sleep 1
    [ -n "$(main_window)" ] && fail "round $1: the window is still visible after minimising"
    stir_hidden "$window"
}

# Round 1: a left click on the icon brings it back.
minimise_to_tray 1
xdotool mousemove $(( tx + tw - 12 )) $(( ty + th / 2 )) click 1
sleep 1
back_in_place "a click on the icon (round 1)"

# Round 2: "Show", the first item of the icon's menu, which opens below the strip.
minimise_to_tray 2
xdotool mousemove $(( tx + tw - 12 )) $(( ty + th / 2 )) click 3
sleep 1
menu=""
for w in $(xdotool search --onlyvisible --pid "$app" 2>/dev/null); do
    # shellcheck disable=SC2046
    set -- $(window_geometry "$w")
    [ "$3" -lt 300 ] && [ "$4" -gt 30 ] && [ "$4" -lt 100 ] && { menu="$*"; break; }
done
[ -n "$menu" ] || fail "round 2: the icon's menu did not open"
# shellcheck disable=SC2086
set -- $menu
xdotool mousemove $(( $1 + 20 )) $(( $2 + $4 / 4 )) click 1
sleep 1
back_in_place "Show in the menu (round 2)"

# Round 3: the tray ends while the window is in it: the window comes back where it was, and the
# icon returns with the next tray.
minimise_to_tray 3
kill "$trayer"
wait "$trayer" 2>/dev/null
for i in $(seq 50); do [ -n "$(main_window)" ] && break; sleep 0.1; done
back_in_place "the tray's end (round 3)"
e2e_start_trayer
tray_number e2e-tray-back || fail "the icon did not return with the new tray ($lime lime pixels)"

# Moved, then ended as at log-out: Latmo ends at once and saves the new place.
xdotool windowmove "$window" 150 100
sleep 0.5
# shellcheck disable=SC2046
set -- $(window_geometry "$window") $extents
moved="$(($1 - $5)),$(($2 - $7)),$(($1 + $3 + $6)),$(($2 + $4 + $8))"
kill -TERM "$app"
wait "$app"
code=$?
[ "$code" -eq 0 ] || fail "latmo ended with $code after SIGTERM"
saved=$(tr -d '\r' < "$work/Latmo.ini" | sed -n 's/^NormPos=//p')
[ "$saved" = "$moved" ] || fail "Latmo.ini holds NormPos=$saved, not the moved place $moved"
echo "PASS: started at $start as saved, tray shows the number, minimise hides," \
    "a click and Show restore it in place, so does the tray's end; the icon comes back with the" \
    "tray; SIGTERM saves the moved place NormPos=$saved"
exit 0
