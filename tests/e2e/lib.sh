# Shared by the end-to-end tests (sourced): a scratch directory with a copy of latmo, a virtual
# X display with a window manager, the main window's lookup, and the removal of everything the
# test started, whichever way it ends.

# Skips the test (ctest's skip code) when a tool is missing.
e2e_require() {
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || { echo "SKIP: $tool is not installed"; exit 77; }
    done
}

# E2E_KEEP=1 leaves the scratch directory in place for a look after a failure.
e2e_pids=""
e2e_cleanup() {
    for p in $e2e_pids; do kill "$p" 2>/dev/null; done
    sleep 0.3
    for p in $e2e_pids; do kill -9 "$p" 2>/dev/null; done
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$work"
}

fail() {
    echo "FAIL: $*"
    exit 1
}

# e2e_setup LATMO_BINARY: sets $work (holding ./latmo, so that its settings and logs land there)
# and $DISPLAY (a fresh Xvfb with openbox).
e2e_setup() {
    work=$(mktemp -d /tmp/latmo-e2e.XXXXXX)
    trap e2e_cleanup EXIT
    cp "$1" "$work/latmo"
    # Xvfb picks a free display itself and names it, so tests running side by side never meet.
    Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$work/display" >/dev/null 2>&1 &
    e2e_pids="$e2e_pids $!"
    for i in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$work/display")"
    unset QT_QPA_PLATFORM
    for i in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
    openbox >/dev/null 2>&1 &
    e2e_pids="$e2e_pids $!"
    sleep 1
}

# Starts latmo in the scratch directory; $app is its process id.
e2e_start_latmo() {
    (cd "$work" && exec ./latmo >>"$work/latmo.out" 2>&1) &
    app=$!
    e2e_pids="$e2e_pids $app"
}

# The main window: visible, named "Latmo…", larger than the tray's or Qt's helper windows.
main_window() {
    for w in $(xdotool search --onlyvisible --name '^Latmo' 2>/dev/null); do
        width=$(xwininfo -id "$w" 2>/dev/null | sed -n 's/.*Width: *//p')
        [ "${width:-0}" -gt 100 ] && { echo "$w"; return; }
    done
}

# Waits (up to 10 s) for the main window; $window is its id, empty when it never came.
wait_main_window() {
    window=""
    for i in $(seq 100); do
        window=$(main_window)
        [ -n "$window" ] && return
        sleep 0.1
    done
}
