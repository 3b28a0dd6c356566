#!/bin/sh
# End to end: Latmo's desktop notices reach a real notification service, Debian's dunst, on a
# session bus of the test's own, in the latency lab (root needed). Latmo watches 198.18.1.2
# (20 ms), 198.18.2.2 (80 ms, every fourth echo lost) and 198.18.3.2 (unreachable) every 3 s,
# with "Also notify on the desktop" ticked and the alarm value at 15 ms. After seven periods
# dunst has had exactly two notices: host 1 above 15 ms and host 3 stopped answering; none for
# host 2's spread-out losses, none said twice. Everything it started is stopped and removed.
#   notify-e2e.sh LATMO_BINARY LAB_RUN_BINARY
set -u
. "$(dirname "$0")/lib.sh"
e2e_require Xvfb openbox xdotool xwininfo dunst dunstctl dbus-run-session busctl ip
[ "$(id -u)" -eq 0 ] || { echo "SKIP: the latency lab needs root"; exit 77; }
if [ -z "${LATMO_NOTIFY_IN_LAB:-}" ]; then
    exec "$2" 20 80:0.25 unreach -- dbus-run-session -- env LATMO_NOTIFY_IN_LAB=1 \
        "$(readlink -f "$0")" "$(readlink -f "$1")" "$2"
fi
e2e_setup "$1"

dunst >"$work/dunst.out" 2>&1 &
e2e_pids="$e2e_pids $!"
for i in $(seq 100); do
    busctl --user status org.freedesktop.Notifications >/dev/null 2>&1 && break
    sleep 0.05
done
busctl --user status org.freedesktop.Notifications >/dev/null 2>&1 ||
    fail "dunst did not take the notification service's name: $(cat "$work/dunst.out")"

latmo_ini "$work/Latmo.ini" 198.18.1.2 198.18.2.2 198.18.3.2 Edit2_Text=3 \
    EditTimeout_Text=1000 EditAlarmSec_Text=15 EditAlarm_Text= CheckBoxNotify_Checked=True
e2e_start_latmo
wait_main_window
[ -n "$window" ] || fail "the window did not appear"
sleep 22
kill -0 "$app" 2>/dev/null || fail "latmo ended early: $(cat "$work/latmo.out")"

# Shown ones go to the history too, where dunstctl reads them all.
dunstctl close-all
sleep 0.5
dunstctl history >"$work/history.json" || fail "dunstctl history failed"
summaries=$(sed -n '/"summary"/,/"data"/ s/.*"data" : "\(.*\)"/\1/p' "$work/history.json" | sort)
expected=$(printf '%s\n' "Latmo: 198.18.3.2 stopped answering" "Latmo: ping above 15 ms" | sort)
[ "$summaries" = "$expected" ] ||
    fail "dunst had these notices, not the two expected:
$summaries"
grep -q 'stopped answering: Error 11003 in call to IcmpSendEcho(): Destination Host Unreachable' \
    "$work/history.json" || fail "the notice lacks the Log page's words: $(cat "$work/history.json")"
echo "PASS: dunst had exactly the two notices of the two changes"
