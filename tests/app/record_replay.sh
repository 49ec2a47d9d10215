#!/bin/sh
# Records a session in the window (under a virtual X server, driven by xdotool: taps through
# the screens, a module fault on and off by key), replays the recording headless, and checks
# that the replay showed the same screens and put the same characters on the line at the same
# virtual times (the hashes panel-sim prints at the end).
# usage: record_replay.sh PANEL_SIM
set -eu
sim=$1
rm -f session.script recorded.txt replayed.txt

xvfb-run -a sh -c '
    sim=$1
    "$sim" --record session.script --hashes --exit-after 8 >recorded.txt &
    pid=$!
    window=
    for i in $(seq 100); do
        window=$(xdotool search --name "^panel-sim" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "record_replay: no window"; kill $pid; exit 1; }
    tap() {  # a finger at panel point (x, y), held 0.5 s (the window shows the panel at scale 2)
        xdotool mousemove --window "$window" $(($1 * 2)) $(($2 * 2)) mousedown 1
        sleep 0.5
        xdotool mousemove --window "$window" $(($1 * 2 + 2)) $(($2 * 2)) mouseup 1
        sleep 0.5
    }
    sleep 2
    tap 158 171   # into the panel
    tap 120 208   # inputs
    xdotool key --window "$window" 3   # exception answers
    sleep 1
    tap 193 208   # outputs
    tap 50 80     # DO1
    xdotool key --window "$window" 0   # the module back to normal
    wait $pid
' sh "$sim"

cat recorded.txt
for word in touch release "fault exception" "fault none"; do
    grep -q "^$word" session.script || { echo "record_replay: no '$word' in the recording"; exit 1; }
done
"$sim" --script session.script --hashes >replayed.txt
cat replayed.txt
recorded=$(grep "screens, hash" recorded.txt)
replayed=$(grep "screens, hash" replayed.txt)
if [ "$recorded" != "$replayed" ]; then
    echo "record_replay: the replay differs"
    exit 1
fi
echo "record_replay: the replay matches the recording"
