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

# With the web page: a debugger that connects to a running panel halts it wherever it is, the
# page's state says where, and running backwards is refused, saying why (the page is an input
# from outside the simulator).
rm -f web.out state.json web-gdb.out
timeout 150 "$1" --image "$2" --gdb 0 --web 0 >web.out 2>&1 &
sim=$!
for _ in $(seq 1 100); do grep -q "http://127.0.0.1:" web.out && break; sleep 0.1; done
port=$(sed -n 's/.*a debugger may connect to 127\.0\.0\.1:\([0-9]*\).*/\1/p' web.out)
web=$(sed -n 's|.*http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' web.out)
timeout 120 gdb-multiarch -batch -nx "$2" -ex "set remotetimeout 30" -ex "target remote :$port" \
    -ex "shell sleep 0.5; python3 -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(sys.argv[1], timeout=20).read().decode())' http://127.0.0.1:$web/state >state.json" \
    -ex "reverse-stepi" -ex kill >web-gdb.out 2>&1
kill $sim 2>/dev/null  # when GDB could not end it
wait $sim
if ! grep -Eq '"status":"[^"]*halted at 0x[0-9A-F]{8}' state.json; then
    echo "image_session: the web page's state does not say where the firmware is halted:"
    cat state.json web.out
    fail=1
fi
if ! grep -q "reverse execution needs a run whose inputs all come from the simulator" web-gdb.out; then
    echo "image_session: running backwards with the web page was not refused with its reason:"
    cat web-gdb.out
    fail=1
fi

exit $fail
