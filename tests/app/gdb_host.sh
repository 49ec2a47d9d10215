#!/bin/sh
# The host build under gdb in batch mode, as the README shows it: a breakpoint on a firmware
# function (the screen change to screen 2), the call chain from the button's release, the
# argument and a global before and after the function, then the run to its end.
# usage: gdb_host.sh PANEL_SIM SCRIPT
set -u
if ! command -v gdb >/dev/null 2>&1; then
    echo "gdb_host: gdb is missing (Debian package gdb): the host build cannot be debugged"
    exit 1
fi
out=gdb_host.out
gdb -batch -nx \
    -ex 'set pagination off' \
    -ex 'set confirm off' \
    -ex 'break hmi_GotoFrame if frame == 2' \
    -ex 'run' \
    -ex 'bt' \
    -ex 'print frame' \
    -ex 'print _CurrentFrame' \
    -ex 'finish' \
    -ex 'print _CurrentFrame' \
    -ex 'delete' \
    -ex 'continue' \
    --args "$1" --script "$2" >"$out" 2>&1
status=$?
cat "$out"
fail=0
expect() {  # expect WHAT PATTERN: the session's output must have a line matching it
    if ! grep -Eq -- "$2" "$out"; then
        echo "gdb_host: no $1 in the session (pattern: $2)"
        fail=1
    fi
}
expect "stop at the breakpoint" "Breakpoint 1(\.[0-9]+)?, hmi_GotoFrame \(frame=2\) at .*firmware/project/_frame0.cpp:[0-9]+"
expect "button in the call chain" "^#[0-9]+ .*RectangularButtonMsgProc .*message=.*x=158"
expect "widget queue in the call chain" "^#[0-9]+ .*WidgetMessageQueueProcess"
expect "firmware's main loop in the call chain" "^#[0-9]+ .*firmware_main \(\) at .*firmware/core/main.cpp"
expect "argument" "^\\\$1 = 2$"
expect "screen before the change" "^\\\$2 = 1$"
expect "screen after the change" "^\\\$3 = 2$"
expect "run to its end" "exited normally"
[ "$status" -eq 0 ] || { echo "gdb_host: gdb exited with $status"; fail=1; }
exit $fail
