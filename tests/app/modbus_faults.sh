#!/bin/sh
# Runs a session with each module fault and checks the Modbus monitor's verdicts and the status
# line: what the log says must follow from the fault in force.
# usage: modbus_faults.sh PANEL_SIM SCRIPT
set -eu
"$1" --script "$2" --modbus-log modbus.log >status.txt
cat status.txt
fail=0
check() {  # check WHAT PATTERN FILE: the file must have a line matching the pattern
    if grep -q -- "$2" "$3"; then
        grep -m 1 -- "$2" "$3" | cut -c 1-160
    else
        echo "modbus_faults: no $1 in $3"
        fail=1
    fi
}
check "good read" "read holding 98-119 (22) | good" modbus.log
check "good answer" "22 registers:.* | good" modbus.log
check "write of the block" "slave 1: write 98-119:.* | good" modbus.log
check "timeout" "no answer within 200 ms | timeout" modbus.log
check "CRC error" "slave 1: 22 registers.* | CRC error" modbus.log
check "exception" "exception 4 (slave device failure) to function 3 | exception" modbus.log
check "late answer" "22 registers.* | late" modbus.log
check "wrong slave" "slave 2: .* | wrong slave" modbus.log
check "noise" "not understood | CRC error" modbus.log
check "error while unplugged" "Dev_1_ERROR=1  fault=unplugged" status.txt
check "recovery" "Dev_1_ERROR=0  fault=none" status.txt
exit $fail
