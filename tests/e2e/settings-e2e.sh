#!/bin/sh
# End to end: the settings file of the real program on a virtual X display.
#  1. A first run ended by SIGTERM (as at log-out) writes "Latmo.ini" in its usual layout.
#  2. Values edited in the file come back in the window and are written again at the next end.
#  3. A period typed while Latmo runs is in the file a few seconds after the last key, and at
#     once when the window is minimised, even if Latmo is then killed.
#  4. A settings file that cannot be read, or one far too large to be one (a sparse 2 GiB
#     file, refused unread), is reported in a message box; the program ends and the file is
#     left alone.
#  5. What one copy changed survives another copy's saves and exit, in either order of exit,
#     and a hand edit made while Latmo runs survives its end.
#   settings-e2e.sh LATMO_BINARY
set -u
. "$(dirname "$0")/lib.sh"
e2e_require Xvfb openbox xdotool xwininfo unshare
e2e_setup "$1"

# The first run has no settings file, so Latmo probes its built-in hosts, which are public: every
# run here goes without a network (a namespace of its own; as a user, inside a user namespace).
if [ "$(id -u)" -eq 0 ]; then offline="unshare -n"; else offline="unshare -r -n"; fi
$offline true 2>/dev/null || { echo "SKIP: cannot run latmo without a network (unshare -n)"; exit 77; }
start() {
    # shellcheck disable=SC2086
    e2e_start_latmo $offline
    wait_main_window "$app"
}
# stop [PID]: ends the run (by default $app's) as the session's end does and waits (bounded) for
# it to be gone.
stop() {
    kill -TERM "${1:-$app}"
    for i in $(seq 150); do kill -0 "${1:-$app}" 2>/dev/null || return 0; sleep 0.1; done
    fail "latmo did not end within 15 s of SIGTERM"
}

# 1. First run, no file yet.
start
[ -n "$window" ] || fail "the window did not appear"
sleep 1
stop
ini="$work/Latmo.ini"
[ -f "$ini" ] || fail "no Latmo.ini after SIGTERM"
head -c 30 "$ini" | od -c | grep -q '\\r  \\n' || fail "lines do not end in CR LF"
for key in "FormVersion=0" "Edit2_Text=45" "EditTimeout_Text=9000" "TrackBarPingSize_Position=1024" \
           "CheckBoxOneInstance_Checked=False" "[.ComboBox1_Items]" "[.host_Lines]" "Count=8"; do
    tr -d '\r' < "$ini" | grep -qxF "$key" || fail "Latmo.ini lacks $key"
done

# 2. Edited by hand: other values, odd spacing and key case (tray-e2e checks the place).
tr -d '\r' < "$ini" | sed -e 's/^Edit2_Text=45$/  edit2_text = 60/' \
    -e 's/^EditTimeout_Text=9000$/EditTimeout_Text=250/' > "$work/edited"
mv "$work/edited" "$ini"
start
[ -n "$window" ] || fail "the window did not appear the second time"
stop
tr -d '\r' < "$ini" | grep -qx "Edit2_Text=60" || fail "the edited interval did not survive"
tr -d '\r' < "$ini" | grep -qx "EditTimeout_Text=250" || fail "the edited time-out did not survive"

# 3. Typed while running, then killed: the file has it without an orderly end.
period() { tr -d '\r' < "$ini" | sed -n 's/^Edit2_Text=//p'; }
for how in rest minimise; do
    start
    [ -n "$window" ] || fail "the window did not appear ($how)"
    sleep 1
    value=$([ "$how" = rest ] && echo 77 || echo 78)
    click_at 325 12    # the period's field
    xdotool key ctrl+a type "$value"
    if [ "$how" = rest ]; then
        sleep 4
    else
        xdotool windowminimize "$window"
        # Well before the few seconds after the last key: the minimising wrote it.
        sleep 0.7
    fi
    [ "$(period)" = "$value" ] || fail "after $how the file holds the period $(period), not $value"
    kill -9 "$app"
    wait "$app" 2>/dev/null
done

# 4. A settings file that cannot be read, and one too large to be read: refused, not read into
#    memory (the box comes at once, and the program stays small), and kept as it was.
for what in directory large; do
    rm -rf "$ini"
    if [ "$what" = directory ]; then
        mkdir "$ini"
    else
        printf '[TForm1]\r\nEdit2_Text=9\r\n' >"$ini"
        truncate -s 2G "$ini"
    fi
    before=$(stat -c '%i %s %b %y' "$ini")
    start
    box=$window
    [ -n "$box" ] || fail "no message box about the $what settings file"
    peak=$(awk '$1 == "VmHWM:" { print $2 }' "/proc/$app/status")
    if [ -z "$peak" ] || [ "$peak" -ge 307200 ]; then
        fail "latmo took ${peak:-an unknown number of} kB of memory to refuse the $what file"
    fi
    sleep 0.5
    xdotool windowactivate --sync "$box" key Return
    for i in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app" 2>/dev/null && fail "latmo still runs after the message box ($what)"
    wait "$app"; code=$?
    [ "$code" -ne 0 ] || fail "exit code 0 after failing to read the $what settings file"
    [ "$(stat -c '%i %s %b %y' "$ini")" = "$before" ] || fail "the $what settings file was touched"
done
[ "$(head -c 24 "$ini" | tr -d '\r')" = "$(printf '[TForm1]\nEdit2_Text=9\n')" ] ||
    fail "the large settings file's text was changed"
grep -q "The settings file cannot be read" "$work/latmo.out" || fail "nothing said on standard error"
grep -q "Not a settings file: larger than 16 MiB" "$work/latmo.out" ||
    fail "the large file's refusal does not say why: $(tail -n 2 "$work/latmo.out")"
rm -rf "$ini"

# 5. Two copies over one file (the single-instance guard is off): B sets the period, A then
#    names a third host; whichever ends first, neither undoes the other's change, though each
#    writes the file again at its end.
key() { tr -d '\r' < "$ini" | sed -n "s/^$1=//p"; }
both() {
    if [ "$(key Edit2_Text)" != 9 ] || [ "$(key ComboBox3_Text)" != 127.0.0.3 ]; then
        fail "$1: the file holds the period $(key Edit2_Text) and host 3 '$(key ComboBox3_Text)'"
    fi
}
for first in A B; do
    e2e_loopback_ini
    start
    a=$app wa=$window
    start
    b=$app wb=$window
    [ -n "$wa" ] || fail "copy A's window did not appear"
    [ -n "$wb" ] || fail "copy B's window did not appear"
    window=$wb
    click_at 325 12
    xdotool key ctrl+a type 9
    xdotool windowminimize "$wb"
    window=$wa
    xdotool windowactivate --sync "$wa"
    click_at 320 325    # host 3
    xdotool key ctrl+a type 127.0.0.3
    xdotool windowminimize "$wa"
    sleep 0.7
    both "both saved"
    if [ $first = A ]; then stop "$a"; else stop "$b"; fi
    both "copy $first ended"
    if [ $first = A ]; then stop "$b"; else stop "$a"; fi
    both "both ended, $first first"
done

# ... and one copy whose file is edited by hand while it runs.
e2e_loopback_ini
start
[ -n "$window" ] || fail "the window did not appear (hand edit)"
sleep 1
tr -d '\r' < "$ini" | sed 's/^Edit2_Text=.*/Edit2_Text=7/' | sed 's/$/\r/' > "$work/edited"
mv "$work/edited" "$ini"
stop
[ "$(key Edit2_Text)" = 7 ] || fail "the period edited by hand while Latmo ran is $(key Edit2_Text), not 7"

echo "PASS: settings written at SIGTERM, edited values restored, a typed period in the file while running (after a rest, at minimising), unreadable and too large files reported and kept, two copies and a hand edit keep each other's changes"
exit 0
