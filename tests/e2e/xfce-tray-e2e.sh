#!/bin/sh
# End to end with a real StatusNotifier host on X11: xfce4-panel's tray under xfwm4 on a virtual
# display, in a private session bus.
#  1. Latmo started before the panel behaves as without a tray (minimising keeps the window
#     minimised), and registers its StatusNotifier item once the panel comes up.
#  2. The panel shows the number on the threshold colour (maroon here).
#  3. Minimising keeps the window in the tray (xfwm4 drops the minimised state of a withdrawn
#     window); a click on the icon brings it back; "Show" in the panel's menu does too; each
#     time exactly where it was.
#  4. The panel's end brings the window back from its tray, where it was; the item returns with
#     the next panel.
#   xfce-tray-e2e.sh LATMO_BINARY
set -u
. "$(dirname "$0")/lib.sh"
e2e_require Xvfb xfwm4 xfce4-panel dbus-run-session busctl xdotool xwininfo xprop xwd convert

# The panel's settings daemon is started by the bus, so it must see the configuration directory
# from the bus's own start: the test runs again inside a private bus set up for it.
if [ -z "${E2E_IN_BUS:-}" ]; then
    config=$(mktemp -d /tmp/latmo-e2e-config.XXXXXX)
    mkdir -p "$config/xfce4/xfconf/xfce-perchannel-xml"
    # One panel along the top: a stretching separator, then the tray.
    cat >"$config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=6;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="26"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
  </property>
</channel>
XML
    XDG_CONFIG_HOME=$config NO_AT_BRIDGE=1 E2E_IN_BUS=1 timeout 150 dbus-run-session -- sh "$0" "$@"
    code=$?
    rm -rf "$config"
    exit $code
fi

E2E_WM="xfwm4 --compositor=off" e2e_setup "$1"
# Threshold 0: any mean is above it, so the icon is maroon; no alarm file to open.
e2e_loopback_ini EditAlarmSec_Text=0 EditAlarm_Text=
export QT_QPA_PLATFORM=xcb

wm_state() {
    xprop -id "$window" WM_STATE 2>/dev/null | sed -n 's/.*window state: *//p'
}
# Moves onto the icon, waits (the panel ignores a click right after the pointer jumps), clicks.
click_icon() {
    xdotool mousemove "$ix" "$iy"
    sleep 0.4
    xdotool click "$1"
}

# 1. No tray yet.
e2e_start_latmo
wait_main_window
[ -n "$window" ] || fail "the window did not appear"
xdotool windowminimize "$window"
sleep 1
[ "$(wm_state)" = "Iconic" ] || fail "without a tray the window is not minimised ($(wm_state))"
xdotool windowactivate "$window" 2>/dev/null
sleep 1
[ "$(wm_state)" = "Normal" ] || fail "the window did not come back from the taskbar ($(wm_state))"

xfce4-panel >/dev/null 2>&1 &
panel=$!
e2e_pids="$e2e_pids $panel"
wait_sni_item "$app" || fail "no StatusNotifier item once the panel was up: $(sni_items)"

# 2. The number in the panel's tray, at the right end of the top edge (looked for until the
#    panel has drawn it).
tray="40x26+984+0"
for i in $(seq 50); do
    xwd -root -silent | convert xwd:- "$work/xfce-tray.png"
    maroon=$(maroon_pixels "$work/xfce-tray.png" "$tray")
    # The panel scales the largest painting down to its 22 pixels, so the digits' strokes blend
    # with the square: greenish pixels inside the frame.
    lime=$(count_pixels "$work/xfce-tray.png" "14x14+1006+6" 'g >= 90 && g > r && b < 60')
    [ "$maroon" -gt 100 ] && [ "$lime" -gt 3 ] && break
    sleep 0.2
done
[ "$maroon" -gt 100 ] || fail "no maroon square in the tray ($maroon pixels)"
[ "$lime" -gt 3 ] || fail "no lime digits in the tray ($lime pixels)"
# The icon's middle: its square is the maroon part of the region.
ix=$((984 + 40 - 13)); iy=13

# 3. Minimise, click, menu.
start=$(window_geometry "$window")
xdotool windowminimize "$window"
sleep 1.5
[ -z "$(main_window)" ] || fail "the window came back after minimising ($(wm_state))"
kill -0 "$app" || fail "latmo ended"
stir_hidden "$window"
click_icon 1
sleep 1
back_in_place "a click on the icon"

xdotool windowminimize "$window"
sleep 1.5
[ -z "$(main_window)" ] || fail "the window came back after the second minimise"
stir_hidden "$window"
click_icon 3
sleep 1
# The panel's menu opens below the icon, against the screen's right edge; "Show" comes first.
xdotool mousemove $((ix - 40)) 43
sleep 0.4
xdotool click 1
sleep 1
back_in_place "Show in the panel's menu"

# 4. The panel ends while the window is in its tray: the window comes back where it was; the
#    item returns with the next panel.
xdotool windowminimize "$window"
sleep 1.5
[ -z "$(main_window)" ] || fail "the window came back after the third minimise"
stir_hidden "$window"
kill "$panel"
wait "$panel" 2>/dev/null
for i in $(seq 50); do [ -n "$(main_window)" ] && break; sleep 0.1; done
back_in_place "the panel's end"
xfce4-panel >/dev/null 2>&1 &
e2e_pids="$e2e_pids $!"
wait_sni_item "$app" || fail "no StatusNotifier item once the panel was back: $(sni_items)"
echo "PASS: item registered once the panel came up; $maroon maroon and $lime lime pixels in the" \
    "tray; minimise stays in the tray; click, menu and the panel's end restore it in place" \
    "($start); the item returns with the panel"
exit 0
