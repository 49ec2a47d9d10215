#!/bin/sh
# A real gdb-multiarch against the protocol layer, with the fake target behind it: GDB takes the
# target description and memory map (it refuses on its own to write flash and sets hardware
# breakpoints there), and registers, memory, breakpoints, the three watchpoints, stepping,
# monitor commands and reverse execution all show as GDB's user sees them.
# usage: gdb_fake_live.sh GDB_FAKE_SERVER SESSION.gdb
set -u
if ! command -v gdb-multiarch >/dev/null 2>&1; then
    echo "gdb_fake_live: gdb-multiarch is missing (Debian package gdb-multiarch)"
    exit 1
fi
rm -f fake.port fake.log
"$1" fake.port fake.log &
server=$!
for _ in 1 2 3 4 5 6 7 8 9 10; do [ -s fake.port ] && break; sleep 0.2; done
timeout 60 gdb-multiarch -batch -nx -ex "target remote 127.0.0.1:$(cat fake.port)" -x "$2" \
    -ex 'set {int}0x1800 = 1' -ex 'detach' >gdb.out 2>&1
wait $server
cat gdb.out
fail=0
expect() {  # expect FILE WHAT PATTERN
    if ! grep -Eq -- "$3" "$1"; then
        echo "gdb_fake_live: no $2 (pattern: $3 in $1)"
        fail=1
    fi
}
expect gdb.out "pc" '^\$1 = 0x1800$'
expect gdb.out "xpsr" '^\$3 = 0x1000000$'
expect gdb.out "msp" '^\$4 = 0x20001000$'
expect gdb.out "memory written, escapes and all" '^0x20000000:.0x12345678.0x7d232a24$'
expect gdb.out "register written" '^\$7 = 0xcafe$'
expect gdb.out "hardware breakpoint in flash" 'automatically using hardware breakpoints'
expect gdb.out "stop at the breakpoint" '^Breakpoint 1, 0x00001810 in'
expect gdb.out "stepi" '^\$8 = 0x1812$'
expect gdb.out "write watchpoint" '^New value = 1$'
expect gdb.out "read watchpoint" '^Value = 0$'
expect gdb.out "access watchpoint" '^Hardware access \(read/write\) watchpoint 4'
expect gdb.out "monitor output" '^halted at 0x0000181e$'
expect gdb.out "monitor command with words" '^hello there$'
expect gdb.out "reverse-stepi" '^\$9 = 0x181c$'
expect gdb.out "reverse-continue to the breakpoint" '^Breakpoint 5, 0x00001804 in'
expect gdb.out "reverse refused with its reason" "^the run took input from outside the simulator$"
expect gdb.out "flash write refused" 'Cannot access memory at address 0x1800'
expect gdb.out "detach" 'detached'
expect fake.log "binary writes" '^gdb> \$X20000004,4:'
expect fake.log "reverse step" '^gdb> \$bs#'
expect fake.log "reverse continue" '^gdb> \$bc#'
if grep -Eq '^gdb> \$[MX]0*1800,' fake.log; then
    echo "gdb_fake_live: GDB wrote to flash"
    fail=1
fi
exit $fail
