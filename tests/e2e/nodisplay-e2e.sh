#!/bin/sh
# Started where there is no desktop (no display at all, or one that nobody serves), Latmo says
# in one line what it needs and ends with exit code 1, instead of the toolkit's abort (134). It
# ends before any window or probe, so it sends nothing.
#   nodisplay-e2e.sh LATMO_BINARY
set -u
work=$(mktemp -d /tmp/latmo-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$1" "$work/latmo"
# A display number that no X server serves: its socket is absent.
n=917
while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
for display in "" ":$n"; do
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" XDG_RUNTIME_DIR="$work" \
        "$work/latmo" >"$work/out" 2>"$work/err" </dev/null
    code=$?
    [ "$code" -eq 1 ] || { echo "FAIL: DISPLAY='$display': exit code $code, not 1: $(cat "$work/err")"; exit 1; }
    [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q '^latmo: .*needs a desktop session.*QT_QPA_PLATFORM=offscreen' "$work/err" ||
        { echo "FAIL: DISPLAY='$display': not one line saying what Latmo needs: $(cat "$work/err")"; exit 1; }
    grep -q 'needs a desktop session' "$work/latmo.log" ||
        { echo "FAIL: DISPLAY='$display': the diagnostic log does not say it"; exit 1; }
    rm -f "$work/latmo.log"
done
echo "PASS: $(cat "$work/err")"
