#!/usr/bin/env bash
# A click as short as a mouse can make it (xdotool: press and release at once) on the welcome
# screen's WEJDZ button brings up screen 2: the window holds the finger down long enough, in
# virtual time, for the touch driver to see it. Run under a virtual X server.
#   window_click.sh PANEL_SIM
set -u
sim=$1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
export ASAN_OPTIONS=detect_leaks=0
"$sim" --scale 1 --seconds 3 >"$out" 2>&1 &
pid=$!
window=""
for _ in $(seq 300); do
    window=$(xdotool search --name '^panel-sim' 2>/dev/null | head -1)
    if [ -n "$window" ] && xdotool getwindowname "$window" | grep -q 'screen 1'; then
        break
    fi
    sleep 0.1
done
[ -n "$window" ] || { echo "no window"; kill "$pid"; cat "$out"; exit 1; }
# The welcome screen is drawn a little after frame 1 is entered.
sleep 0.5
xdotool mousemove --window "$window" 158 171 click 1
wait "$pid"
status=$?
cat "$out"
[ "$status" -eq 0 ] && grep -q 'frame=2 ' "$out"
