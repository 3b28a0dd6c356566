# Shared by the end-to-end tests, bench/compare and tools/screenshots (sourced; also under
# set -e): a scratch directory with a copy of latmo, a virtual X display with a window manager,
# the main window's lookup, and the removal of everything the script started, whichever way it
# ends.

# Skips the test (ctest's skip code) when a tool is missing.
e2e_require() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed (tools/install-deps installs it)"; exit 77; }
    done
}

# E2E_KEEP=1 leaves the scratch directory in place for a look after a failure.
e2e_pids=""
e2e_cleanup() {
    for p in $e2e_pids; do kill "$p" 2>/dev/null || :; done
    # Until all are gone (3 s at most): an X server still going down when the next test starts
    # one of the same number would take that test's clients.
    for i in $(seq 60); do
        alive=""
        for p in $e2e_pids; do
            state=$(awk '{ print $3 }' "/proc/$p/stat" 2>/dev/null || :)
            [ -n "$state" ] && [ "$state" != Z ] && alive=yes
        done
        [ -z "$alive" ] && break
        sleep 0.05
    done
    for p in $e2e_pids; do kill -9 "$p" 2>/dev/null || :; done
    # Every copy of latmo (here or in a directory below) keeps its instance registry and lock in
    # the user's guard folder, named after its path; a killed copy leaves them and its port.
    for d in /run/user/"$(id -u)"/latmo /tmp/latmo-"$(id -u)"*; do
        [ -d "$d" ] || continue
        rm -f "$d"/*"$(printf '%s' "$work" | tr 'a-z/' 'A-Z_')"_*
        for s in "$d"/*-*; do
            [ -S "$s" ] && ! kill -0 "${s##*-}" 2>/dev/null && rm -f "$s"
        done
    done
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$work"
}

fail() {
    echo "FAIL: $*"
    exit 1
}

# e2e_setup LATMO_BINARY: sets $work (holding ./latmo, so that its settings and logs land there)
# and $DISPLAY (a fresh Xvfb with a window manager: $E2E_WM, by default openbox). With
# E2E_OPEN_DISPLAY=1 the display lets every local user in (tests that run latmo as another user).
e2e_setup() {
    work=$(mktemp -d /tmp/latmo-e2e.XXXXXX)
    trap e2e_cleanup EXIT
    cp "$1" "$work/latmo"
    # Latmo's log-on entries (the user's and the machine's) stay inside the scratch directory:
    # a test never touches the machine's own. (The copies meet in the user's guard folder,
    # whatever the environment; e2e_cleanup removes what they left there.)
    export XDG_CONFIG_HOME="$work/config" XDG_CONFIG_DIRS="$work/xdg" XDG_RUNTIME_DIR="$work/runtime"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    # Xvfb picks a free display itself and names it, so tests running side by side never meet.
    # -noreset: a server that resets when its last client leaves refuses the next one meanwhile.
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset ${E2E_OPEN_DISPLAY:+-ac} \
        9>"$work/display" >/dev/null 2>&1 &
    e2e_pids="$e2e_pids $!"
    for i in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$work/display")"
    unset QT_QPA_PLATFORM
    for i in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
    xdotool getmouselocation >/dev/null 2>&1 || fail "Xvfb takes no clients"
    # shellcheck disable=SC2086
    ${E2E_WM:-openbox} >"$work/wm.out" 2>&1 &
    e2e_pids="$e2e_pids $!"
    # Up once it names itself on the root window (5 s at most).
    for i in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        sleep 0.05
    done
    fail "the window manager (${E2E_WM:-openbox}) did not start on $DISPLAY: $(tail -n 3 "$work/wm.out")"
}

# e2e_start_trayer [TRAYER_OPTION...]: an XEmbed tray, trayer's 120 x 24 strip at the top right
# of the screen, waited for (5 s at most) until its strip shows.
# shellcheck disable=SC2120
e2e_start_trayer() {
    trayer --edge top --align right --widthtype pixel --width 120 --height 24 "$@" >/dev/null 2>&1 &
    e2e_pids="$e2e_pids $!"
    for i in $(seq 100); do
        [ -n "$(xdotool search --onlyvisible --pid $! 2>/dev/null)" ] && break
        sleep 0.05
    done
}

# latmo_ini FILE HOST1 HOST2 HOST3 [KEY=VALUE...]: a Latmo.ini whose three host boxes hold the
# hosts given ("" for an empty box), with any further keys. The built-in hosts are public ones,
# never to be probed from a test: every run of latmo names its own.
latmo_ini() {
    ini_file=$1
    shift
    {
        printf '[TForm1]\r\nEdithost_Text=%s\r\n' "$1"
        printf 'ComboBox1_Text=%s\r\nComboBox2_Text=%s\r\nComboBox3_Text=%s\r\n' "$1" "$2" "$3"
        shift 3
        for kv in "$@"; do printf '%s\r\n' "$kv"; done
        printf '\r\n'
    } >"$ini_file"
}

# e2e_loopback_ini [KEY=VALUE...]: a Latmo.ini in the scratch directory whose host boxes hold
# loopback addresses (and an empty one), probed every 3 s, with any further keys given.
# shellcheck disable=SC2120
e2e_loopback_ini() {
    latmo_ini "$work/Latmo.ini" 127.0.0.1 127.0.0.2 "" Edit2_Text=3 "$@"
}

# count_pixels PNG GEOMETRY AWK_CONDITION: how many pixels of the region (WxH+X+Y) meet the
# condition on r, g and b (0 to 255).
count_pixels() {
    convert "$1" -crop "$2" +repage -depth 8 txt:- |
        sed -n 's/^[0-9]*,[0-9]*: *(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
        awk "{ r = \$1; g = \$2; b = \$3 } $3 { n++ } END { print n + 0 }"
}

# lime_pixels PNG GEOMETRY: how many pixels of the region are exactly lime, the colour of the
# tray's digits.
lime_pixels() {
    count_pixels "$1" "$2" 'r == 0 && g == 255 && b == 0'
}

# maroon_pixels PNG GEOMETRY: how many pixels of the region are near maroon, the square's colour
# above the alarm threshold, as a panel that scales the icon leaves it.
maroon_pixels() {
    count_pixels "$1" "$2" 'r >= 100 && r <= 150 && g < 30 && b < 30'
}

# sni_items: the StatusNotifier items the session bus's watcher has registered.
sni_items() {
    busctl --user get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems 2>/dev/null
}

# wait_sni_item PID: waits (up to 10 s) for an item of that process to be registered; false when
# none came.
wait_sni_item() {
    for i in $(seq 100); do
        sni_items | grep -q "StatusNotifierItem-$1-" && return 0
        sleep 0.1
    done
    return 1
}

# e2e_start_latmo [COMMAND...]: starts latmo in the scratch directory, under the command given
# (such as a lab's or unshare -n); $app is the id of the process started.
# shellcheck disable=SC2120
e2e_start_latmo() {
    (cd "$work" && exec "$@" ./latmo >>"$work/latmo.out" 2>&1) &
    app=$!
    e2e_pids="$e2e_pids $app"
}

# main_window [PID]: the main window (of that process): visible, named "Latmo…", larger than the
# tray's or Qt's helper windows.
# shellcheck disable=SC2120
main_window() {
    # shellcheck disable=SC2086
    for w in $(xdotool search --all --onlyvisible ${1:+--pid $1} --name '^Latmo' 2>/dev/null); do
        width=$(xwininfo -id "$w" 2>/dev/null | sed -n 's/.*Width: *//p')
        [ "${width:-0}" -gt 100 ] && { echo "$w"; return 0; }
    done
    return 0
}

# window_geometry WINDOW: where its client area lies and how large it is: "X Y WIDTH HEIGHT".
window_geometry() {
    xwininfo -id "$1" 2>/dev/null | awk '/Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
        /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print x, y, w, h }'
}

# click_at X Y: a left click at that point of the main window's ($window) client area.
click_at() {
    # shellcheck disable=SC2046
    set -- "$1" "$2" $(window_geometry "$window")
    xdotool mousemove $(($3 + $1)) $(($4 + $2)) click 1
    sleep 0.5
}

# stir_hidden WINDOW: moves a hidden window away and back to where it lies. Whether the program
# hears how the window manager left its hidden window is a race (openbox first moves the window
# to its frame's corner, then takes it out of the frame); this makes it hear every time, without
# moving the window.
stir_hidden() {
    # shellcheck disable=SC2046
    set -- "$1" $(window_geometry "$1")
    xdotool windowmove "$1" 0 0
    sleep 0.3
    xdotool windowmove "$1" "$2" "$3"
    sleep 0.5
}

# back_in_place WHAT: WHAT brought the main window ($window) back where it was ($start) and as
# large as it was.
back_in_place() {
    [ -n "$(main_window)" ] || fail "$1 did not bring the window back"
    now=$(window_geometry "$window")
    [ "$now" = "$start" ] || fail "after $1 the window is at $now, not at $start (x y width height)"
}

# wait_main_window [PID]: waits (up to 10 s) for the main window (of that process); $window is
# its id, empty when it never came.
# shellcheck disable=SC2120
wait_main_window() {
    window=""
    for i in $(seq 100); do
        window=$(main_window "$@")
        [ -n "$window" ] && return
        sleep 0.1
    done
}
