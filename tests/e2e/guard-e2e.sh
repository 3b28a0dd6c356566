#!/bin/sh
# End to end: two real latmo processes with "Only one instance" ticked, in an XEmbed tray, and
# the autostart box writing and removing its log-on entry.
#  1. With "Auto start at log-on" ticked in Latmo.ini, the first copy writes a valid autostart
#     entry that starts exactly this program.
#  2. The first copy minimised into the tray; a second copy started with two parameters ends at
#     once with code 0, brings the first window back, leaves no second tray icon, and neither
#     the settings file nor the autostart entry changes.
#  3. The first copy killed with SIGKILL: a new copy starts at once.
#  4. Unticking the box and leaving it removes the entry; ticking it again writes it again.
#  5. "Only one instance" unticked while Latmo runs lets the next start run beside it; ticked
#     again, the next start is refused: the file has each change before Latmo ends.
#   guard-e2e.sh LATMO_BINARY
set -u
. "$(dirname "$0")/lib.sh"
e2e_require Xvfb openbox trayer xdotool xwininfo import convert desktop-file-validate
e2e_setup "$1"
entry="$XDG_CONFIG_HOME/autostart/latmo.desktop"
# Loopback hosts only, both boxes ticked.
latmo_ini "$work/Latmo.ini" 127.0.0.1 127.0.0.2 "" CheckBoxOneInstance_Checked=True \
    CheckBoxAutoStart_Checked=True

e2e_start_trayer
e2e_start_latmo
first=$app
wait_main_window
[ -n "$window" ] || fail "the first window did not appear"
sleep 2

# 1. The autostart entry.
[ -f "$entry" ] || fail "no autostart entry at $entry"
desktop-file-validate "$entry" || fail "the autostart entry is not a valid desktop entry"
grep -qx "Exec=$work/latmo" "$entry" || fail "the entry does not start $work/latmo: $(grep Exec= "$entry")"
grep -qx "X-Latmo-Value-Data=$work/latmo" "$entry" || fail "the entry's data is not the program's path"
grep -qx "X-Latmo-Value-Type=REG_SZ" "$entry" || fail "the entry's type is not REG_SZ"

# 2. A second copy while the first sits in the tray.
xdotool windowminimize "$window"
sleep 1
[ -z "$(main_window)" ] || fail "the first window did not go into the tray"
# end_code PID: $code is the exit code of that copy (a child of this script) once it has ended,
# empty when it has not within 10 s.
end_code() {
    code=""
    for i in $(seq 100); do
        kill -0 "$1" 2>/dev/null || { wait "$1"; code=$?; return; }
        sleep 0.1
    done
}
ini_before=$(md5sum < "$work/Latmo.ini")
entry_before=$(md5sum < "$entry")
(cd "$work" && exec ./latmo first "second part" >>"$work/second.out" 2>&1) &
second=$!
end_code "$second"
[ -n "$code" ] || { kill -9 "$second"; fail "the second copy did not end within 10 s"; }
[ "$code" -eq 0 ] || fail "the second copy ended with code $code, not 0"
sleep 1
window=$(main_window)
[ -n "$window" ] || fail "the first window did not come back from the tray"
[ "$(xdotool getactivewindow)" = "$window" ] || fail "the first window is not in front"
kill -0 "$first" 2>/dev/null || fail "the first copy is gone"
[ "$(md5sum < "$work/Latmo.ini")" = "$ini_before" ] || fail "the refused copy changed Latmo.ini"
[ "$(md5sum < "$entry")" = "$entry_before" ] || fail "the refused copy changed the autostart entry"
# One icon in the tray: trayer's strip holds lime digits in the rightmost slot only.
import -window root "$work/guard-second.png"
lime_one=$(lime_pixels "$work/guard-second.png" 24x24+1000+0)
lime_rest=$(lime_pixels "$work/guard-second.png" 96x24+904+0)
[ "$lime_one" -gt 5 ] || fail "the first copy's tray icon is missing ($lime_one lime pixels)"
[ "$lime_rest" -eq 0 ] || fail "a second tray icon lingers ($lime_rest lime pixels beside the first)"

# 3. Killed, and started again at once.
kill -9 "$first"
wait "$first" 2>/dev/null
e2e_start_latmo
wait_main_window
[ -n "$window" ] || fail "a new copy did not start after the first was killed"
sleep 2

# 4. The box on the page "MaxPing, Start": untick it and leave it, then tick it again.
click_at 229 44    # Preferences (after Graph, Log, Statistics)
click_at 265 70    # MaxPing, Start
click_at 27 240    # Auto start at log-on
xdotool key Tab
sleep 0.5
[ ! -e "$entry" ] || fail "unticking the box and leaving it did not remove the entry"
click_at 27 240
xdotool key Tab
sleep 0.5
[ -f "$entry" ] || fail "ticking the box again did not write the entry"

# 5. The box "Only one instance", changed while the first copy runs, holds for the next start.
click_at 27 262    # Only one instance: untick
xdotool key Tab
sleep 3
tr -d '\r' < "$work/Latmo.ini" | grep -qx "CheckBoxOneInstance_Checked=False" ||
    fail "the unticked box did not reach Latmo.ini while Latmo runs"
(cd "$work" && exec ./latmo >>"$work/beside.out" 2>&1) &
beside=$!
e2e_pids="$e2e_pids $beside"
for i in $(seq 100); do [ -n "$(main_window "$beside")" ] && break; sleep 0.1; done
[ -n "$(main_window "$beside")" ] || fail "with the box unticked, a second copy did not run"
kill "$beside"
wait "$beside"
click_at 27 262    # tick again
xdotool key Tab
sleep 3
(cd "$work" && exec ./latmo >>"$work/third.out" 2>&1) &
third=$!
end_code "$third"
[ "$code" = 0 ] || { kill -9 "$third"; fail "with the box ticked again, a new copy was not refused ($code)"; }
echo "PASS: refused copy (exit 0, window back in front, one tray icon, files untouched), start after SIGKILL, autostart entry written, removed and written again, \"Only one instance\" changed while running holds for the next start"
exit 0
