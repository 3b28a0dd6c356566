#!/bin/sh
# End to end with a real StatusNotifier host on Wayland: waybar's tray under a headless sway, in
# a private session bus. sway refuses to run as root, so a root run takes an ordinary user for
# the session (created for the test and removed again when it was not there before).
#  1. Latmo on the native Wayland platform, started before waybar: its item is registered once
#     waybar is up and the number shows in waybar; the diagnostic log says once that the
#     window's place is not restored; closing the window from the compositor puts it into the
#     tray without a question, and the host's Activate brings it back.
#  2. Latmo started as the session starts programs (sway's XWayland in DISPLAY): it runs on X11
#     and its number shows in waybar.
#   sway-tray-e2e.sh LATMO_BINARY
set -u
here=$(dirname "$0")
. "$here/lib.sh"
e2e_require sway swaymsg waybar grim Xwayland dbus-run-session busctl convert

if [ -z "${E2E_IN_BUS:-}" ]; then
    work=$(mktemp -d /tmp/latmo-e2e.XXXXXX)
    runtime=$(mktemp -d /tmp/latmo-e2e-run.XXXXXX)
    user=""
    created=""
    cleanup_outer() {
        [ -n "${E2E_KEEP:-}" ] || rm -rf "$work"
        rm -rf "$runtime"
        [ -n "$created" ] && userdel "$user" 2>/dev/null
    }
    trap cleanup_outer EXIT
    cp "$1" "$work/latmo"
    cp "$here/lib.sh" "$0" "$work/"
    e2e_loopback_ini EditAlarmSec_Text=0 EditAlarm_Text=
    as=""
    if [ "$(id -u)" -eq 0 ]; then
        user=latmo-e2e
        if ! id -u "$user" >/dev/null 2>&1; then
            useradd --system --no-create-home --shell /usr/sbin/nologin "$user" ||
                fail "cannot create the user $user for the sway session"
            created=yes
        fi
        chown -R "$user" "$work" "$runtime"
        # That user pings through the raw-socket capability, given after the chown (which
        # clears it); without it the probes fail, which leaves the colour maroon all the same.
        setcap cap_net_raw+ep "$work/latmo" 2>/dev/null
        as="runuser -u $user --"
    fi
    chmod 700 "$runtime"
    $as env HOME="$work" XDG_RUNTIME_DIR="$runtime" E2E_IN_BUS=1 E2E_WORK="$work" NO_AT_BRIDGE=1 \
        timeout 150 dbus-run-session -- sh "$work/$(basename "$0")"
    exit $?
fi

work=$E2E_WORK
E2E_KEEP=1
trap e2e_cleanup EXIT
cd "$work" || fail "no scratch directory"
# The session's own choice, not the one a headless test run may have made.
unset QT_QPA_PLATFORM DISPLAY WAYLAND_DISPLAY

cat >"$work/sway.config" <<'CONF'
output HEADLESS-1 resolution 1024x768
xwayland enable
CONF
cat >"$work/waybar.json" <<'JSON'
{ "layer": "top", "position": "top", "height": 26,
  "modules-left": [], "modules-center": [], "modules-right": ["tray"],
  "tray": { "icon-size": 22, "spacing": 4 } }
JSON
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$work/sway.config" >"$work/sway.out" 2>&1 &
e2e_pids="$e2e_pids $!"
for i in $(seq 100); do
    [ -S "$XDG_RUNTIME_DIR/wayland-1" ] && ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock >/dev/null 2>&1 &&
        break
    sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/wayland-1" ] || fail "sway did not start: $(tail -3 "$work/sway.out")"
export WAYLAND_DISPLAY=wayland-1
SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.*.sock)
export SWAYSOCK

# Whether sway has a window that matches the criteria.
has_window() {
    swaymsg "$1 nop" >/dev/null 2>&1
}
wait_window() {
    for i in $(seq 100); do
        has_window "$1" && return 0
        sleep 0.1
    done
    return 1
}
# The number in waybar's tray at the top right: maroon square, lime digits (looked for until
# waybar has drawn it, 10 s at most).
check_number() {
    for i in $(seq 40); do
        grim "$work/$1.png" || fail "no screenshot"
        maroon=$(maroon_pixels "$work/$1.png" 60x26+964+0)
        # waybar scales the largest painting down to its icon size, so the digits' strokes
        # blend with the square: greenish pixels other than the frame's green.
        lime=$(count_pixels "$work/$1.png" "60x26+964+0" \
            'g >= 90 && g > r && b < 60 && !(r < 10 && g >= 118 && g <= 138)')
        [ "$maroon" -gt 100 ] && [ "$lime" -gt 3 ] && return 0
        sleep 0.25
    done
    [ "$maroon" -gt 100 ] || fail "$1: no maroon square in waybar's tray ($maroon pixels)"
    fail "$1: no lime digits in waybar's tray ($lime pixels)"
}

# 1. Native Wayland, before the host.
QT_QPA_PLATFORM=wayland ./latmo >>"$work/latmo.out" 2>&1 &
app=$!
e2e_pids="$e2e_pids $app"
wait_window "[pid=$app title=\"^Latmo\"]" || fail "the window did not appear on Wayland"
waybar -c "$work/waybar.json" >"$work/waybar.out" 2>&1 &
e2e_pids="$e2e_pids $!"
wait_sni_item "$app" || fail "no StatusNotifier item once waybar was up: $(sni_items)"
check_number wayland
said=$(grep -c "place is not restored" "$work/latmo.log")
[ "$said" -eq 1 ] || fail "the placement note is in the diagnostic log $said times, not once"

swaymsg "[pid=$app] kill" >/dev/null
sleep 1.5
kill -0 "$app" 2>/dev/null || { wait "$app"; fail "closing the window ended latmo ($?)"; }
has_window "[pid=$app]" && fail "closing left a window (the window itself or a question)"
service=$(sni_items | grep -o "org.kde.StatusNotifierItem-$app-[0-9]*" | head -1)
busctl --user call "$service" /StatusNotifierItem org.kde.StatusNotifierItem Activate ii 0 0 ||
    fail "the item does not take Activate"
wait_window "[pid=$app title=\"^Latmo\"]" || fail "Activate did not bring the window back"
kill -TERM "$app"
for i in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done

# 2. As the session starts it: DISPLAY names sway's XWayland.
swaymsg "exec cd '$work' && exec ./latmo >>'$work/latmo.out' 2>&1" >/dev/null
wait_window '[shell="xwayland" title="^Latmo"]' || fail "latmo did not run on XWayland"
for i in $(seq 100); do
    xapp=$(sni_items | grep -o 'org.kde.StatusNotifierItem-[0-9]*' | grep -v -- "-$app\$" | head -1)
    [ -n "$xapp" ] && break
    sleep 0.1
done
xapp=${xapp##*-}
[ -n "$xapp" ] || fail "no StatusNotifier item from the XWayland run: $(sni_items)"
e2e_pids="$e2e_pids $xapp"
check_number xwayland
echo "PASS: waybar shows the number for Latmo on Wayland (started before waybar) and on" \
    "XWayland; closing puts it into the tray, Activate brings it back"
exit 0
