#!/bin/sh
# latmo.exe under Wine, on the display and tray wine-tests.sh made: from a folder whose name has
# a blank and letters beyond ASCII, watching this machine (all three host boxes 127.0.0.1).
#   1. its window and its tray icon with the number (a pixel check of trayer's strip), and the
#      Run value that starts it at log-on (wine reg query);
#   2. a second copy started while it runs ends at once, and its command line brings the first
#      copy's window back from the tray;
#   3. the session's end (wineboot --end-session) ends it in order, its settings (the window's
#      new place) written beside it.
# Wine docks a tray icon into the X tray only while no window manager runs (with one it keeps
# the icon to itself), so the window manager, which minimising needs, comes after the tray check.
#   wine-latmo.sh WINDOWS_BUILD_DIR WORK_DIR
set -eu
win=$1
work=$2
# latmo_ini, main_window, lime_pixels: shared with the Linux end-to-end tests.
. "$(dirname "$0")/../e2e/lib.sh"
wm_pid=""
first=""
fail() {
    echo "wine-latmo: FAIL: $*"
    # What Wine and Latmo said, and the windows there were, to tell a slow Wine from a fault.
    echo "wine-latmo: windows on the display:"
    for w in $(xdotool search --all --name . 2>/dev/null); do
        echo "  $(xdotool getwindowname "$w" 2>/dev/null)"
    done | sort | uniq -c | head -n 20
    tail -n 20 "$work/latmo-first.out" "${dir:-$work}/latmo.log" 2>/dev/null || true
    [ -z "$first" ] || kill "$first" 2>/dev/null || true
    [ -z "$wm_pid" ] || kill "$wm_pid" 2>/dev/null || true
    exit 1
}
say() { printf "wine-latmo: %s\n" "$*"; }

prefix="$work/prefix-latmo"
WINEPREFIX=$prefix wineboot -i >"$work/wineboot-latmo.log" 2>&1
export WINEPREFIX=$prefix
dir="$work/L$(printf '\303\244')tmo w$(printf '\303\244')s here"
mkdir -p "$dir"
cp "$win/src/app/latmo.exe" "$dir/"
cp "$(dirname "$0")/../../data/alarm.wav" "$dir/"
latmo_ini "$dir/Latmo.ini" 127.0.0.1 127.0.0.1 127.0.0.1 Edit2_Text=3 EditTimeout_Text=1000 \
    CheckBoxOneInstance_Checked=True CheckBoxAutoStart_Checked=True

wait_for() {
    for _ in $(seq 1 "$2"); do
        eval "$1" && return 0
        sleep 0.5
    done
    return 1
}
(cd "$dir" && exec wine ./latmo.exe >"$work/latmo-first.out" 2>&1) &
first=$!
# A fresh prefix's first program can take Wine a while: two minutes at most.
wait_for '[ -n "$(main_window)" ]' 240 || fail "no Latmo window within 120 s"
sleep 8  # a few probe passes, so the tray shows a number
import -window root "$work/latmo-window.png"
say "window shown: $(xdotool getwindowname "$(main_window)")"
# trayer's strip sits at the top right of the screen.
icon=$(lime_pixels "$work/latmo-window.png" 200x32+1080+0)
[ "$icon" -gt 5 ] || fail "no number in a tray icon in trayer's strip ($icon lime pixels)"
say "tray icon in trayer: $icon lime pixels of its number"

# Autostart at log-on: the Run value starts this copy, its path in quotes.
run=$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v latmo.exe 2>/dev/null |
    tr -d '\r' | LC_ALL=C grep -a REG_SZ || true)
# printf, not echo: the path's backslashes stay as they are. The console's code page writes the
# folder's letters beyond ASCII as bytes of its own, which only the C locale's grep takes.
printf '%s\n' "$run" | LC_ALL=C grep -q 'REG_SZ *"[A-Z]:.*here\\latmo\.exe"$' ||
    fail "the Run value does not start latmo.exe from its folder, quoted: $run"
say "Run value:$(printf '%s' "$run" | LC_ALL=C sed 's/^ *latmo.exe *REG_SZ */ /')"

# 2. Into the tray, then a second copy with a command line.
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
sleep 2
xdotool windowminimize "$(main_window)"
wait_for '[ -z "$(main_window)" ]' 20 || fail "the window did not go into the tray"
(cd "$dir" && exec wine ./latmo.exe first "second part" >"$work/latmo-second.out" 2>&1) &
second=$!
ended=""
for _ in $(seq 1 40); do
    kill -0 "$second" 2>/dev/null || { ended=yes; break; }
    sleep 0.5
done
[ -n "$ended" ] || { kill "$second"; fail "the second copy did not end within 20 s"; }
wait_for '[ -n "$(main_window)" ]' 20 || fail "the second copy's command line did not bring the first window back"
kill -0 "$first" 2>/dev/null || fail "the first copy is gone"
say "second copy refused, first window back"

# 3. The session ends, after the window was moved: only closing in order writes its new place.
xdotool windowmove "$(main_window)" 100 120
sleep 1
md5_before=$(md5sum <"$dir/Latmo.ini")
wineboot --end-session >"$work/end-session.log" 2>&1 || true
for _ in $(seq 1 40); do
    kill -0 "$first" 2>/dev/null || break
    sleep 0.5
done
kill -0 "$first" 2>/dev/null && fail "Latmo did not end with the session"
first=""
[ "$(md5sum <"$dir/Latmo.ini")" != "$md5_before" ] || fail "the settings were not written at the session's end"
tr -d '\r' <"$dir/Latmo.ini" | grep -q '^NormPos=100,' || fail "the window's new place was not saved"
tr -d '\r' <"$dir/Latmo.ini" | grep -q '^ComboBox3_Text=127.0.0.1$' || fail "the settings lost the hosts"
[ -s "$dir/latmo.log" ] || fail "no diagnostic log beside the program"
say "session end: settings written beside latmo.exe"
kill "$wm_pid" 2>/dev/null || true
wineserver -k 2>/dev/null || true
