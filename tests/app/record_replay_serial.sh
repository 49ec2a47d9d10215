#!/bin/sh
# Records a session whose module is a real peer (the libmodbus remote-module tool on a
# pseudo-terminal), replays it with no peer at all from the characters in the recording, and
# checks the replay against the recording's hashes of the screens and the line.
# usage: record_replay_serial.sh PANEL_SIM REMOTE_MODULE
set -eu
sim=$1
module=$2
rm -f serial-session.script serial-recorded.txt serial-replayed.txt
"$sim" --web 0 --seconds 2.5 --serial-pty --record serial-session.script --hashes \
    >serial-recorded.txt &
pid=$!
pts=
for i in $(seq 100); do
    pts=$(grep -o '/dev/pts/[0-9]*' serial-recorded.txt 2>/dev/null | head -n 1) && [ -n "$pts" ] && break
    sleep 0.1
done
[ -n "$pts" ] || { echo "record_replay_serial: no pseudo-terminal"; kill $pid; exit 1; }
"$module" --device "$pts" </dev/null >/dev/null &
peer=$!
wait $pid
kill $peer 2>/dev/null || true
cat serial-recorded.txt
lines=$(grep -c '^serial-in ' serial-session.script || true)
echo "record_replay_serial: $lines serial-in lines in the recording"
[ "$lines" -gt 10 ] || { echo "record_replay_serial: the peer's answers are missing"; exit 1; }
"$sim" --script serial-session.script --hashes >serial-replayed.txt
cat serial-replayed.txt
[ "$(grep 'line characters, hash' serial-recorded.txt)" = "$(grep 'line characters, hash' serial-replayed.txt)" ] || {
    echo "record_replay_serial: the replay differs"
    exit 1
}
echo "record_replay_serial: the replay matches the recording"
