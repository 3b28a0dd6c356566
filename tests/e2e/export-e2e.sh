#!/bin/sh
# End to end: a real Prometheus scrapes Latmo in the latency lab (root needed). Latmo watches
# 198.18.1.2 (20 ms), 198.18.2.2 (80 ms, every fourth echo lost) and 198.18.3.2 (unreachable)
# every 3 s and serves its metrics; Prometheus (Debian's, with a data folder of its own) scrapes
# it every second, configured with the README's fleet section as written: its scrape
# configuration, desktops file and alert rule, with this run's paths and target. After a few
# periods, Prometheus's query API gives host 1's mean within 1 ms of 20 ms, host 2's lost share
# near a quarter and host 3's at one, host 1's p95 inside the bucket that holds 20 ms, and the
# three rules are loaded and healthy. The whole test runs in
# the lab's client namespace, so every address is a loopback of its own; everything it started
# is stopped and removed.
#   export-e2e.sh LATMO_BINARY LAB_RUN_BINARY
set -u
. "$(dirname "$0")/lib.sh"
e2e_require Xvfb openbox xdotool xwininfo prometheus promtool curl ip
[ "$(id -u)" -eq 0 ] || { echo "SKIP: the latency lab needs root"; exit 77; }
if [ -z "${LATMO_EXPORT_IN_LAB:-}" ]; then
    exec "$2" 20 80:0.25 unreach -- env LATMO_EXPORT_IN_LAB=1 \
        "$(readlink -f "$0")" "$(readlink -f "$1")" "$2"
fi
readme="$(dirname "$(readlink -f "$0")")/../../README.md"
e2e_setup "$1"

latmo_ini "$work/Latmo.ini" 198.18.1.2 198.18.2.2 198.18.3.2 Edit2_Text=3 \
    EditTimeout_Text=1000 CheckBoxMetrics_Checked=True EditMetrics_Text=127.0.0.1:0
e2e_start_latmo
wait_main_window
[ -n "$window" ] || fail "the window did not appear"
# Any free port: the diagnostic log says which.
port=""
for i in $(seq 100); do
    port=$(sed -n 's|.*served for Prometheus at http://127\.0\.0\.1:\([0-9]*\)/metrics.*|\1|p' \
        "$work/latmo.log" 2>/dev/null | tail -n 1)
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || fail "Latmo does not say where it serves: $(cat "$work/latmo.log")"

# The README's three YAML blocks of its fleet section, in order: prometheus.yml, the desktops
# file, the rules file.
prom="$work/prometheus"
mkdir -p "$prom"
awk '/^## A fleet/,/^## Trying/' "$readme" |
    awk -v dir="$prom" '/^```yaml/ { n++; f = dir "/block" n ".yml"; next } /^```/ { f = ""; next }
        f { print > f }'
[ -s "$prom/block3.yml" ] || fail "the README's fleet section lacks its three YAML blocks"
{
    printf 'global:\n  evaluation_interval: 1s\n'
    sed -e "s|/etc/prometheus|$prom|g" -e 's/scrape_interval: .*/scrape_interval: 1s/' \
        "$prom/block1.yml"
} >"$prom/prometheus.yml"
sed "s/targets: .*/targets: ['127.0.0.1:$port']/" "$prom/block2.yml" >"$prom/latmo-desktops.yml"
cp "$prom/block3.yml" "$prom/latmo-rules.yml"
promtool check config "$prom/prometheus.yml" >"$prom/check.out" 2>&1 ||
    fail "promtool check config: $(cat "$prom/check.out")"

prometheus --config.file="$prom/prometheus.yml" --storage.tsdb.path="$prom/data" \
    --web.listen-address=127.0.0.1:9090 >"$prom/out" 2>&1 &
prom_pid=$!
e2e_pids="$e2e_pids $prom_pid"
api=http://127.0.0.1:9090/api/v1
# The one value of an instant query; empty when there is none.
query() {
    curl -s "$api/query" --data-urlencode "query=$1" |
        sed -n 's/.*"value":\[[0-9.]*,"\([^"]*\)"\].*/\1/p'
}
requests=0
for i in $(seq 60); do
    requests=$(query 'latmo_echo_requests_total{slot="1"}')
    [ "${requests:-0}" -ge 8 ] 2>/dev/null && break
    sleep 1
done
[ "${requests:-0}" -ge 8 ] 2>/dev/null ||
    fail "Prometheus has $requests echoes of host 1 after 60 s: $(tail -n 5 "$prom/out")"

mean=$(query 'latmo_rtt_trimmed_mean_seconds{slot="1"}')
awk -v m="$mean" 'BEGIN { exit !(m > 0.019 && m < 0.021) }' ||
    fail "host 1's mean is $mean s, not within 1 ms of 20 ms"
lossy=$(query 'rate(latmo_echo_lost_total{slot="2"}[1m]) / rate(latmo_echo_requests_total{slot="2"}[1m])')
awk -v r="$lossy" 'BEGIN { exit !(r > 0.1 && r < 0.4) }' ||
    fail "host 2 loses $lossy of its echoes, not about a quarter"
unreachable=$(query 'latmo_echo_lost_total{slot="3"} / latmo_echo_requests_total{slot="3"}')
[ "$unreachable" = 1 ] || fail "host 3 loses $unreachable of its echoes, not all"
why=$(query 'sum(latmo_echo_errors_total{slot="3",status="host_unreachable"})')
[ "$why" = "$(query 'latmo_echo_requests_total{slot="3"}')" ] ||
    fail "host 3's errors are not all host_unreachable"
# The p95 of the README's query lies inside the bucket that holds 20 ms, as the README says.
p95=$(query 'histogram_quantile(0.95, sum by (instance, host, le) (rate(latmo_rtt_seconds_bucket{slot="1"}[1m])))')
awk -v q="$p95" 'BEGIN { exit !(q > 0.0128 && q <= 0.0256) }' ||
    fail "host 1's p95 is $p95 s, not inside the 12.8 to 25.6 ms bucket"
rules=$(curl -s "$api/rules")
for rule in LatmoHost1Slow LatmoEchoesLost LatmoDown; do
    # Each rule's name comes before its health in the API's answer.
    echo "$rules" | grep -o '"name":"[^"]*"\|"health":"[^"]*"' |
        awk -v r="\"name\":\"$rule\"" '$0 == r { f = 1; next } f { exit !($0 == "\"health\":\"ok\"") }
            END { if (!f) exit 1 }' ||
        fail "the README's alert rule $rule is not loaded and healthy: $rules"
done

kill "$prom_pid"
wait "$prom_pid" 2>/dev/null
rm -rf "$prom"
echo "PASS: Prometheus read host 1's mean as $mean s, host 2's lost share as $lossy"
exit 0
