#!/bin/sh
# End to end, with two throw-away users: one keeps latmo in a folder every user may write (a
# sticky one, as /tmp), and has that folder in PATH too; the other plants files there before
# the first run. Nothing of the planter's may run or be written as the victim:
#  - "VersionCheck.exe", which a first run starts, beside the program or through PATH;
#  - "ping", which the victim's probes run through PATH (ICMP sockets are closed to it);
#  - "Latmo.ini", whose alarm is /bin/sh with parameters and whose threshold fires at once;
#  - "latmo.log", a link to a file of the victim's (fs.protected_symlinks is off here).
# The victim's run keeps its files in its own XDG folders, runs the system's ping and says why
# in its diagnostic log; the planted files stay as they were.
#   planted-e2e.sh LATMO_BINARY
set -u
. "$(dirname "$0")/lib.sh"
[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root, to make two throw-away users"; exit 77; }
e2e_require Xvfb openbox xdotool xwininfo useradd userdel setpriv unshare
e2e_setup "$1"

planter="latmo-p$$"
victim="latmo-v$$"
shared=$(mktemp -d /tmp/latmo-shared.XXXXXX)
chmod 1777 "$shared"
cleanup() {
    e2e_cleanup
    userdel -r "$planter" 2>/dev/null
    userdel -r "$victim" 2>/dev/null
    rm -f /dev/shm/*"$(printf '%s' "$shared" | tr 'a-z/' 'A-Z_')"_*
    rm -rf "$shared"
}
trap cleanup EXIT
useradd -m "$planter" && useradd -m "$victim" || fail "cannot make the two users"
home=$(getent passwd "$victim" | cut -d: -f6)
as() {
    user=$1
    shift
    setpriv --reuid="$user" --regid="$user" --init-groups env -i HOME="$(getent passwd "$user" | cut -d: -f6)" \
        PATH=/usr/bin:/bin "$@"
}

# The victim's copy of the program, and a file of its own that a planted link points to.
install -o "$victim" -g "$victim" -m 755 "$work/latmo" "$shared/latmo"
as "$victim" sh -c 'echo "the victim'"'"'s own notes" > "$HOME/notes"'
notes_before=$(md5sum < "$home/notes")

# The planter's files, made as the planter. The settings probe only loopback, every 3 s, and
# set the alarm off at any mean.
as "$planter" sh -c '
    cd "$1"
    printf "#!/bin/sh\ntouch \"%s/ran-VersionCheck\"\n" "$1" > VersionCheck.exe
    printf "#!/bin/sh\ntouch \"%s/ran-ping\"\nexec /usr/bin/ping \"\$@\"\n" "$1" > ping
    chmod 755 VersionCheck.exe ping
    printf "[TForm1]\r\nEdithost_Text=127.0.0.1\r\nComboBox1_Text=127.0.0.1\r\n" > Latmo.ini
    printf "ComboBox2_Text=127.0.0.2\r\nComboBox3_Text=\r\nEdit2_Text=3\r\n" >> Latmo.ini
    printf "EditAlarmSec_Text=-1\r\nEditAlarm_Text=/bin/sh\r\n" >> Latmo.ini
    printf "EditAlarmParam_Text=-c \"touch %s/ran-alarm\"\r\n" "$1" >> Latmo.ini
    ln -s "$2/notes" latmo.log
' planter "$shared" "$home" || fail "the planter could not plant"
ini_before=$(md5sum < "$shared/Latmo.ini")

# The victim's own settings: loopback hosts too, as the built-in ones are public. Without a
# network anyway.
mkdir -p "$home/.config/latmo"
latmo_ini "$home/.config/latmo/Latmo.ini" 127.0.0.1 127.0.0.2 "" Edit2_Text=3 EditAlarm_Text=
chown -R "$victim:$victim" "$home/.config"
unshare -n setpriv --reuid="$victim" --regid="$victim" --init-groups env -i HOME="$home" \
    PATH="$shared:/usr/bin:/bin" DISPLAY="$DISPLAY" "$shared/latmo" >"$work/latmo.out" 2>&1 &
app=$!
e2e_pids="$e2e_pids $app"
wait_main_window
[ -n "$window" ] || fail "the victim's window did not appear: $(cat "$work/latmo.out")"
sleep 4  # the first run's update check, and a pass or two
kill -TERM "$app"
for i in $(seq 150); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done

[ ! -e "$shared/ran-VersionCheck" ] || fail "the planted VersionCheck.exe ran as the victim"
[ ! -e "$shared/ran-ping" ] || fail "the planted ping ran as the victim"
[ ! -e "$shared/ran-alarm" ] || fail "the planted alarm ran as the victim"
[ "$(md5sum < "$home/notes")" = "$notes_before" ] || fail "a line reached the planted link: $(cat "$home/notes")"
[ "$(md5sum < "$shared/Latmo.ini")" = "$ini_before" ] || fail "the planted Latmo.ini was written"
diag="$home/.local/state/latmo/latmo.log"
[ -f "$diag" ] || fail "no diagnostic log in the victim's state folder"
grep -q "Not used, as another user could change it: $shared may be written by every user" "$diag" ||
    fail "the diagnostic log does not say why: $(cat "$diag")"
grep -q "^\[TForm1\]" "$home/.config/latmo/Latmo.ini" || fail "the victim's own settings are gone"
grep -q "Echo engine: system ping program, .* runs of /usr/bin/ping (passed over in PATH: $shared may be written by every user)" "$diag" ||
    fail "the diagnostic log does not name the ping chosen: $(cat "$diag")"
echo "PASS: nothing planted ran or was written; the victim's files went to its own folders"
exit 0
