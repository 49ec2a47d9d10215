#!/bin/sh
# Records a session in the window (under a virtual X server, driven by xdotool: taps through
# the screens, a module fault on and off by key), replays the recording headless, and checks
# that the replay showed the same screens and put the same characters on the line at the same
# virtual times (the hashes panel-sim prints at the end).
# usage: record_replay.sh PANEL_SIM
set -eu
sim=$1
rm -f session.script recorded.txt replayed.txt

# A press is held until the title bar shows virtual time well past it, so that the press and
# its release reach the window in different frames even on a slow, busy machine.
xvfb-run -a sh -c '
    sim=$1
    "$sim" --record session.script --hashes --speed 2 --exit-after 90 >recorded.txt &
    pid=$!
    window=
    for i in $(seq 100); do
        window=$(xdotool search --name "^panel-sim" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "record_replay: no window"; kill $pid; exit 1; }
    showing() {  # waits until the title bar says the panel shows screen $1
        for i in $(seq 150); do
            case $(xdotool getwindowname "$window") in
                *screen\ $1\ *) return 0 ;;
            esac
            sleep 0.1
        done
        echo "record_replay: screen $1 never came: $(xdotool getwindowname "$window")"
    }
    now() {  # the virtual time in the title bar, in seconds
        xdotool getwindowname "$window" | sed -n "s/.*screen [0-9]*  *\([0-9.]*\) s.*/\1/p"
    }
    hold() {  # until virtual time has moved on by $1 s (frames run at most 0.1 s each)
        from=$(now)
        for i in $(seq 300); do
            awk -v a="$(now)" -v b="$from" -v d="$1" "BEGIN { exit !(a >= b + d) }" && return 0
            sleep 0.1
        done
    }
    tap() {  # a finger at panel point (x, y) (the window shows the panel at scale 2)
        xdotool mousemove --window "$window" $(($1 * 2)) $(($2 * 2)) mousedown 1
        hold 0.25
        xdotool mousemove --window "$window" $(($1 * 2 + 2)) $(($2 * 2)) mouseup 1
        hold 0.25
    }
    showing 1
    hold 0.5
    tap 158 171   # into the panel
    showing 2
    tap 120 208   # inputs
    showing 3
    xdotool key --window "$window" 3   # exception answers
    hold 0.5
    tap 193 208   # outputs
    showing 4
    tap 50 80     # DO1
    xdotool key --window "$window" 0   # the module back to normal
    hold 0.3
    xdotool key --window "$window" q
    wait $pid
' sh "$sim"

cat recorded.txt
for word in touch release "fault exception" "fault none"; do
    grep -q "^$word" session.script || { echo "record_replay: no '$word' in the recording"; exit 1; }
done
"$sim" --script session.script --hashes >replayed.txt
cat replayed.txt
recorded=$(grep "line characters, hash" recorded.txt)
replayed=$(grep "line characters, hash" replayed.txt)
if [ "$recorded" != "$replayed" ]; then
    echo "record_replay: the replay differs"
    exit 1
fi
# The comparison can tell: without the fault the line carries other answers.
grep -v "^fault exception" session.script >session-altered.script
altered=$("$sim" --script session-altered.script --hashes | grep "line characters, hash")
if [ "$altered" = "$recorded" ]; then
    echo "record_replay: a replay without the fault gives the same hashes"
    exit 1
fi
echo "record_replay: the replay matches the recording (and one without the fault does not)"
