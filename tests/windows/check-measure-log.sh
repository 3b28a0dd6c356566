#!/bin/sh
# Checks a measurement log of a minute in the lab: at least 12 lines (one every 3 s, the first
# ones while the rings fill), each "date<TAB>host<TAB>mean" three times, and in the last line
# each host's mean within a tenth (and 5 ms) of its delay.
#   check-measure-log.sh LOG HOST:DELAY_MS HOST:DELAY_MS HOST:DELAY_MS
set -eu
log=$1
shift
[ -f "$log" ] || { echo "check-measure-log: no measurement log $log"; exit 1; }
lines=$(wc -l <"$log")
[ "$lines" -ge 12 ] || { echo "check-measure-log: only $lines lines in a minute"; exit 1; }
tr -d '\r' <"$log" | awk -F '\t' 'NF != 7 { print "check-measure-log: not 7 fields: " $0; bad = 1 }
    END { exit bad }'
last=$(tail -n 1 "$log" | tr -d '\r')
i=2
for expected in "$@"; do
    host=${expected%%:*}
    delay=${expected#*:}
    got_host=$(echo "$last" | cut -f "$i")
    mean=$(echo "$last" | cut -f "$((i + 1))" | tr -d ' ')
    [ "$got_host" = "$host" ] || { echo "check-measure-log: field $i is $got_host, not $host"; exit 1; }
    awk -v m="$mean" -v d="$delay" 'BEGIN { slack = d / 10 < 5 ? 5 : d / 10
        exit !(m >= d - 1 && m <= d + slack) }' ||
        { echo "check-measure-log: $host's mean $mean is not near $delay ms: $last"; exit 1; }
    i=$((i + 2))
done
echo "check-measure-log: $lines lines; last: $last"
