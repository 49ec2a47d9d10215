#!/bin/sh
# gdb-multiarch against panel-sim --image --gdb: the session in image_session.py, then its
# verdict. The processor is held at reset until GDB connects.
# usage: image_session.sh PANEL_SIM IMAGE.elf SESSION.py
set -u
if ! command -v gdb-multiarch >/dev/null 2>&1; then
    echo "image_session: gdb-multiarch is missing (Debian package gdb-multiarch)"
    exit 1
fi
rm -f sim.out gdb.out
# Each panel-sim is bounded in time too: one that waits for a debugger that never came must not
# outlive the test.
timeout 280 "$1" --image "$2" --gdb 0 --gdb-wait --headless --seconds 60 >sim.out 2>&1 &
sim=$!
port=""
for _ in $(seq 1 100); do
    port=$(sed -n 's/.*a debugger may connect to 127\.0\.0\.1:\([0-9]*\).*/\1/p' sim.out)
    [ -n "$port" ] && grep -q "waits at reset" sim.out && break
    sleep 0.1
done
if [ -z "$port" ]; then
    echo "image_session: panel-sim printed no debugger port"
    cat sim.out
    kill $sim 2>/dev/null
    exit 1
fi
PORT=$port timeout 240 gdb-multiarch -batch -nx "$2" -x "$3" >gdb.out 2>&1
gdb_status=$?
wait $sim
sim_status=$?
cat gdb.out
echo "--- panel-sim (exit status $sim_status):"
cat sim.out
fail=0
grep -q "^SESSION PASSED" gdb.out || { echo "image_session: the session's checks failed (gdb exit $gdb_status)"; fail=1; }
grep -q "ended by the debugger" sim.out || { echo "image_session: kill did not end the run"; fail=1; }

exit $fail
