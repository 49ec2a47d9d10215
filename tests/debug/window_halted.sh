#!/usr/bin/env bash
# The window's title says where a debugger holds the image's firmware, and the window keeps
# answering meanwhile. Run under a virtual X server.
#   window_halted.sh PANEL_SIM IMAGE.elf
set -u
export ASAN_OPTIONS=detect_leaks=0
out=window-halted.out
timeout 150 "$1" --image "$2" --gdb 0 --scale 1 >"$out" 2>&1 &
pid=$!
window=""
for _ in $(seq 300); do
    window=$(xdotool search --name '^panel-sim' 2>/dev/null | head -1)
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "window_halted: no window"; kill "$pid"; cat "$out"; exit 1; }
port=$(sed -n 's/.*a debugger may connect to 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$out")
timeout 120 gdb-multiarch -batch -nx "$2" -ex "set remotetimeout 30" -ex "target remote :$port" \
    -ex "shell sleep 0.5; xdotool getwindowname $window >window-title.txt" \
    -ex kill >window-gdb.out 2>&1
kill "$pid" 2>/dev/null
wait "$pid"
cat "$out" window-gdb.out
echo "title while halted: $(cat window-title.txt)"
grep -Eq '^panel-sim \[halted at 0x[0-9A-F]{8}[] ]' window-title.txt
