#!/bin/sh
# Latmo as an ordinary user (a throw-away one) on a machine that opens ICMP datagram sockets to
# nobody, each run in a network namespace of its own with only loopback:
#  1. where ping cannot send either (a stand-in that is refused its socket): one box says why and
#     how to fix it, no alarm is opened although the means pass the threshold, and the
#     diagnostic log begins with Start, then the engine line;
#  2. a copy with the raw-socket capability: the process holds no capability once its window is
#     up, its probes measure, and a toolkit plugin named in its environment is not loaded, while
#     the same start without the capability does load it (so that check can fail).
#   privilege-e2e.sh LATMO_BINARY PLUGIN_DIR
set -eu
here=$(dirname "$0")
# shellcheck source=lib.sh
. "$here/lib.sh"
[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root (a throw-away user, unshare, setcap)"; exit 77; }
e2e_require Xvfb openbox xdotool xwininfo setcap setpriv unshare ip useradd
latmo=$(readlink -f "$1")
plugins=$(readlink -f "$2")
[ -f "$plugins/generic/liblatmo-probe-plugin.so" ] || fail "no probe plugin in $plugins/generic"

E2E_OPEN_DISPLAY=1 e2e_setup "$latmo"
user=latmo-priv-$$
useradd --system --no-create-home --shell /usr/sbin/nologin "$user" || fail "cannot add $user"
# The user's guard folder outlives its copies; the user owns it.
trap 'e2e_cleanup; rm -rf /tmp/latmo-"$(id -u "$user")" /tmp/latmo-"$(id -u "$user")".*
    userdel "$user" 2>/dev/null || :' EXIT
chown "$user" "$work" "$XDG_RUNTIME_DIR"
# All the user reads is a copy of its own: the build tree may lie in a home only root may enter
# (a checkout in /root), where the user could not load the plugin.
cp -R "$plugins" "$work/plugins"
chown -R "$user" "$work/plugins"
plugins=$work/plugins

# latmo_as DIR [VAR=VALUE...]: starts DIR/latmo as the user, in a namespace with loopback up;
# $app is its process (unshare, sh, setpriv and env each replace themselves).
latmo_as() {
    dir=$1
    shift
    (cd "$dir" && exec unshare -n sh -c 'ip link set lo up && exec "$@"' sh \
        setpriv --reuid="$user" --regid="$user" --init-groups env -i HOME="$dir" \
        DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" XDG_CONFIG_HOME="$dir/config" \
        PATH="$dir/bin:/usr/bin:/bin" "$@" ./latmo >"$dir/latmo.out" 2>&1) &
    app=$!
    e2e_pids="$e2e_pids $app"
}
# A folder of the user's own with a copy of latmo and a Latmo.ini with the hosts and keys given.
latmo_dir() {
    dir="$work/$1"
    shift
    mkdir -p "$dir/bin"
    cp "$work/latmo" "$dir/latmo"
    latmo_ini "$dir/Latmo.ini" "$@"
    chown -R "$user" "$dir"
    chmod 700 "$dir"
}
# Visible windows of $app that are larger than the tray's or the toolkit's helpers.
big_windows() {
    for w in $(xdotool search --all --onlyvisible --pid "$app" --name '.' 2>/dev/null); do
        width=$(xwininfo -id "$w" 2>/dev/null | sed -n 's/.*Width: *//p')
        [ "${width:-0}" -gt 100 ] && echo "$w"
    done | wc -l
}
wait_window() {
    for i in $(seq 100); do [ -n "$(main_window "$app")" ] && return; sleep 0.1; done
    fail "$1: the window did not appear ($(cat "$dir/latmo.out"))"
}
stop_latmo() {
    kill "$app"
    wait "$app" 2>/dev/null || :
}

# --- 1: nothing can send ----------------------------------------------------------------------
latmo_dir none 127.0.0.1 127.0.0.2 "" Edit2_Text=3 EditTimeout_Text=1000 EditAlarmSec_Text=100 \
    "EditAlarm_Text=$work/none/alarm"
printf '#!/bin/sh\necho "ping: socket: Operation not permitted"\nexit 2\n' >"$dir/bin/ping"
printf '#!/bin/sh\ntouch "$0.opened"\n' >"$dir/alarm"
chmod 755 "$dir/bin/ping" "$dir/alarm"
latmo_as "$dir"
wait_window "no permission"
# Two passes at 3 s put the means far above the threshold of 100 ms; three more collections
# would have opened the alarm three times.
sleep 10
[ "$(big_windows)" -eq 2 ] || fail "expected the window and one box, found $(big_windows) windows"
[ ! -e "$dir/alarm.opened" ] || fail "the alarm was opened though nothing could be measured"
sed -n '1s/^.*: \(Start\) \[Latmo .*/\1/p' "$dir/latmo.log" | grep -qx Start ||
    fail "the diagnostic log does not begin with Start: $(head -1 "$dir/latmo.log")"
sed -n 2p "$dir/latmo.log" | grep -q ': Echo engine: none, no ICMP echo can be sent: .*ping may not send either' ||
    fail "no engine line after Start: $(sed -n 2p "$dir/latmo.log")"
grep -q 'setcap cap_net_raw+ep ' "$dir/latmo.out" || fail "standard error does not give the fix"
stop_latmo

# --- 2: the raw-socket capability, given up at once -------------------------------------------
latmo_dir cap 127.0.0.1 "" "" Edit2_Text=3 EditTimeout_Text=1000 "EditLog_Text=$work/cap/measure.log"
plugin_env="QT_PLUGIN_PATH=$plugins QT_QPA_GENERIC_PLUGINS=latmoprobe"
# shellcheck disable=SC2086
latmo_as "$dir" $plugin_env
wait_window "without the capability"
stop_latmo
[ -e "$dir/plugin-loaded" ] || fail "an ordinary start did not load the plugin: the check below means nothing"
rm -f "$dir/plugin-loaded" "$dir/measure.log"

setcap cap_net_raw+ep "$dir/latmo"
# shellcheck disable=SC2086
latmo_as "$dir" $plugin_env
wait_window "with the capability"
caps=$(grep -E '^Cap(Prm|Eff):' "/proc/$app/status" | tr -s '\t ' ' ')
[ "$caps" = "$(printf 'CapPrm: 0000000000000000\nCapEff: 0000000000000000')" ] ||
    fail "the running copy keeps capabilities: $caps"
[ ! -e "$dir/plugin-loaded" ] || fail "a plugin named in the environment ran: $(cat "$dir/plugin-loaded")"
grep -q ': Echo engine: raw ICMP socket' "$dir/latmo.log" || fail "not the raw socket: $(cat "$dir/latmo.log")"
for i in $(seq 100); do [ "$(cat "$dir/measure.log" 2>/dev/null | grep -c .)" -ge 2 ] && break; sleep 0.1; done
mean=$(awk -F'\t' '$2 == "127.0.0.1" { m = $3 } END { print m + 0 }' "$dir/measure.log")
awk -v m="$mean" 'BEGIN { exit !(m >= 0 && m < 10) }' ||
    fail "loopback measured $mean ms with the capability given up ($(cat "$dir/measure.log"))"
stop_latmo
echo "PASS"
