#!/bin/sh
# The Debian package as a user meets it (root; changes the machine, so CI runs it, not ctest):
# builds it with cpack, installs it with dpkg -i, checks the menu entry and the files, starts
# the installed latmo as an ordinary user under Xvfb against three lab hosts, checks that its
# settings and diagnostic log went to that user's XDG directories and that it measured the lab
# host, then removes the package and checks that nothing of it is left.
#   tests/package/deb-install.sh BUILD_DIR
set -u
. "$(dirname "$0")/../e2e/lib.sh"
build=$(cd "${1:?usage: deb-install.sh BUILD_DIR}" && pwd)
user=latmo-deb-test
home=/tmp/latmo-deb-home.$$
work=$(mktemp -d /tmp/latmo-deb.XXXXXX)
xvfb=""
lab=""

# The installed latmo that this test's own user runs.
latmo_pid() {
    pgrep -u "$user" -x latmo 2>/dev/null | head -n 1
}

cleanup() {
    pid=$(latmo_pid)
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    [ -n "$lab" ] && kill "$lab" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    sleep 0.3
    if dpkg-query -W -f='${Status}' latmo 2>/dev/null | grep -q "install ok installed"; then
        dpkg -P latmo >/dev/null 2>&1
    fi
    # The copies' guard folder outlives them; the test's user owns it.
    id "$user" >/dev/null 2>&1 && rm -rf /tmp/latmo-"$(id -u "$user")" /tmp/latmo-"$(id -u "$user")".*
    id "$user" >/dev/null 2>&1 && userdel "$user" 2>/dev/null
    rm -rf "$work" "$home"
}
trap cleanup EXIT

[ "$(id -u)" -eq 0 ] || { echo "SKIP: needs root (installs a package)"; exit 77; }
dpkg-query -W -f='${Status}' latmo 2>/dev/null | grep -q "install ok installed" &&
    fail "a latmo package is installed already; this test would remove it"

# Build the package.
(cd "$build" && cpack -G DEB >"$work/cpack.out" 2>&1) || { cat "$work/cpack.out"; fail "cpack"; }
deb=$(ls "$build"/latmo_*.deb | head -n 1)
[ -f "$deb" ] || fail "no .deb in $build"
depends=$(dpkg-deb -f "$deb" Depends)
echo "package: $(basename "$deb"), Depends: $depends"
for lib in libqt6widgets6 libc6 qt6-qpa-plugins; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib"
done
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$' >"$work/files"
for f in /usr/bin/latmo /usr/share/latmo/alarm.wav /usr/share/applications/latmo.desktop \
         /usr/share/icons/hicolor/scalable/apps/latmo.svg \
         /usr/share/icons/hicolor/48x48/apps/latmo.png; do
    grep -qxF "$f" "$work/files" || fail "the package lacks $f"
done
grep -q '^/usr/share/metainfo/.*\.metainfo\.xml$' "$work/files" || fail "no AppStream metainfo"

# Install; the post-install script says how ICMP is allowed.
dpkg -i "$deb" >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out"; fail "dpkg -i"; }
grep '^latmo:' "$work/dpkg.out"
desktop-file-validate /usr/share/applications/latmo.desktop || fail "installed desktop entry"
appstreamcli validate --no-net /usr/share/metainfo/*.metainfo.xml >/dev/null ||
    fail "installed metainfo"
# The menu entry starts the installed program and names an icon the theme has.
[ "$(command -v "$(sed -n 's/^Exec=//p' /usr/share/applications/latmo.desktop)")" = /usr/bin/latmo ] ||
    fail "the menu entry does not start /usr/bin/latmo"
[ -f "/usr/share/icons/hicolor/scalable/apps/$(sed -n 's/^Icon=//p' /usr/share/applications/latmo.desktop).svg" ] ||
    fail "the menu entry's icon is not in the hicolor theme"
if ! getcap /usr/bin/latmo | grep -q cap_net_raw; then
    grep -q "no capability needed" "$work/dpkg.out" || fail "neither datagram sockets nor cap_net_raw"
fi

# An ordinary user with three lab hosts in the settings, probing every 3 s, logging to a file.
useradd -d "$home" -M -s /bin/sh "$user" || fail "useradd"
mkdir -p "$home/.config/latmo"
mkdir -m 700 "$home/runtime"
hosts="198.18.1.2 198.18.2.2 198.18.3.2"
# shellcheck disable=SC2086
set -- $hosts
latmo_ini "$home/.config/latmo/Latmo.ini" "$1" "$2" "$3" Edit2_Text=3 EditTimeout_Text=1000 \
    "EditLog_Text=$home/measure.log"
chown -R "$user" "$home"

Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp -noreset 9>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for i in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
[ -s "$work/display" ] || fail "Xvfb did not start"
display=":$(cat "$work/display")"

# Starts the installed latmo as the test's user in a lab of the given hosts (delays in ms),
# with a command put before the user switch; ends it once the named file has that many lines.
run_installed() {
    wrapper=$1 hosts=$2 until=$3 lines=$4
    # shellcheck disable=SC2086
    "$build/tests/lab/latmo-lab-run" $hosts -- $wrapper runuser -u "$user" -- env -i \
        HOME="$home" XDG_RUNTIME_DIR="$home/runtime" PATH=/usr/bin:/bin DISPLAY="$display" \
        latmo >>"$work/latmo.out" 2>&1 &
    lab=$!
    for i in $(seq 150); do
        [ -s "$until" ] && [ "$(wc -l <"$until")" -ge "$lines" ] && break
        kill -0 "$lab" 2>/dev/null || break
        sleep 0.1
    done
    pid=$(latmo_pid)
    [ -n "$pid" ] || { cat "$work/latmo.out"; fail "the installed latmo is not running"; }
    kill -TERM "$pid"
    for i in $(seq 100); do kill -0 "$lab" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$lab" 2>/dev/null && fail "latmo did not end within 10 s of SIGTERM"
    lab=""
}

run_installed "" "20 30 40" "$home/measure.log" 2
[ -s "$home/measure.log" ] || fail "no measurement log: the lab hosts were not probed"
line=$(tail -n 1 "$home/measure.log" | tr -d '\r')
echo "last measurement: $line"
echo "$line" | awk -F'\t' -v h="$1" '$2 == h && $3 + 0 > 0 { ok = 1 } END { exit !ok }' ||
    fail "no round trip measured to $1"
# Written back whole: the update check's date, which only the program puts there.
tr -d '\r' <"$home/.config/latmo/Latmo.ini" | grep -qx 'last=[0-9]*\.[0-9]*' ||
    fail "the settings were not written back to ~/.config/latmo/Latmo.ini"
# The diagnostic log is in the user's state directory and opens each run with "Start".
diag="$home/.local/state/latmo/latmo.log"
grep -q ": Start \[Latmo " "$diag" || fail "no Start in $diag"
# The package's version is the one the program names (as on its About page and in latmo_info).
version=$(dpkg-deb -f "$deb" Version)
grep -qF ": Start [Latmo $version]" "$diag" || fail "$diag does not name the package's $version"
# As on a fresh Debian (no ICMP datagram sockets, the capability taken off again), the installed
# latmo sends through the system's ping and still measures; its diagnostic log opens with
# "Start" and then says which engine it took.
rm -f "$diag" "$home/measure.log"
setcap -r /usr/bin/latmo 2>/dev/null
run_installed "" "--closed 20" "$home/measure.log" 2
tail -n 1 "$home/measure.log" | awk -F'\t' '$2 == "198.18.1.2" && $3 + 0 >= 19 && $3 + 0 <= 22 { ok = 1 } END { exit !ok }' ||
    fail "no 20 ms measured through ping: $(cat "$home/measure.log")"
sed -n 1p "$diag" | grep -q ": Start \[Latmo " || fail "$diag does not begin with Start"
sed -n 2p "$diag" | grep -q ": Echo engine: system ping program, " ||
    fail "the engine line does not follow Start: $(cat "$diag")"
for f in /usr/bin/Latmo.ini /usr/bin/latmo.log; do
    [ -e "$f" ] && fail "$f written beside the installed program"
done

# Remove: every file the package brought is gone, and so is the package.
dpkg -r latmo >/dev/null || fail "dpkg -r"
while read -r f; do
    [ -e "$f" ] && fail "$f is left after removal"
done <"$work/files"
dpkg-query -W -f='${Status}' latmo 2>/dev/null | grep -q "config-files" && dpkg -P latmo >/dev/null
dpkg-query -W -f='${Status}' latmo 2>/dev/null | grep -q "ok installed" && fail "still installed"
echo "PASS: package built, installed, run by an ordinary user against the lab, removed cleanly"
exit 0
