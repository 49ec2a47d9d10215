#!/usr/bin/env bash
# A script is read as a stream and its waits run without a stop of the firmware each: 10 MB of
# `wait 0.01` lines (a million) take hardly more memory or processor time than one `wait` of the
# same 10 s of virtual time, and end at the same virtual time. Measured with /usr/bin/time: the
# processor time (user + system, less disturbed by other work on the machine than the wall
# time) and the peak resident memory of each run.
#   script_stream.sh PANEL_SIM
set -u
sim=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ ! -x /usr/bin/time ]; then
    echo "script_stream: /usr/bin/time is not installed (Debian package time; ./panel test installs it)"
    exit 1
fi
{ yes "wait 0.01" | head -n 1000000; echo status; } >"$work/long.script"
printf 'wait 10000\nstatus\n' >"$work/short.script"
measure() {  # measure NAME: "CPU-SECONDS PEAK-KB" of a run of NAME.script
    /usr/bin/time -f "%U %S %M" -o "$work/$1.time" "$sim" --script "$work/$1.script" \
        >"$work/$1.out" 2>"$work/$1.err" || { echo "script_stream: $1.script failed:"; cat "$work/$1.err"; exit 1; }
    awk '{ printf "%.2f %d\n", $1 + $2, $3 }' "$work/$1.time"
}
read -r long_cpu long_kb < <(measure long)
read -r short_cpu short_kb < <(measure short)
echo "script_stream: 10 MB of waits: ${long_cpu} s processor time, peak ${long_kb} kB;" \
    "one wait: ${short_cpu} s, peak ${short_kb} kB"
status=0
if ! cmp -s "$work/long.out" "$work/short.out"; then
    echo "script_stream: the runs end differently:"; cat "$work/long.out" "$work/short.out"
    status=1
fi
grep -q "t=  10.000 s" "$work/long.out" || { echo "script_stream: not at 10 s of virtual time"; status=1; }
if [ $((long_kb - short_kb)) -gt 10240 ]; then
    echo "script_stream: the long script takes $(((long_kb - short_kb) / 1024)) MB more (at most 10)"
    status=1
fi
if awk -v l="$long_cpu" -v s="$short_cpu" 'BEGIN { exit !(l - s > 6) }'; then
    echo "script_stream: the long script takes $long_cpu s of processor time (at most 6 s above one wait's)"
    status=1
fi
exit $status
