#!/usr/bin/env bash
# Every program follows one command-line convention: --help on stdout with exit 0; a bad option
# or value is one line on stderr naming it, exit 2, and nothing written. Each case runs in an
# empty folder, which must stay empty. Script mistakes in panel-sim are refused the same way
# (the whole script is checked before anything runs), naming the line; so are files that could
# not be written and an --image that is not one for this board. No program prints a sanitizer's
# report on such an error (leaks are looked for).
#   command_lines.sh panel-sim=PATH fontgen=PATH ... (one NAME=PATH per program)
set -u
declare -A program
for assignment in "$@"; do program[${assignment%%=*}]=${assignment#*=}; done
export ASAN_OPTIONS=detect_leaks=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passed=0

# check NAME EXPECTED-EXIT WORD-IN-MESSAGE ARGS...
check() {
    local name=$1 expected=$2 word=$3
    shift 3
    local dir="$work/case"
    rm -rf "$dir" && mkdir -p "$dir"
    (cd "$dir" && "${program[$name]}" "$@" >"$work/out" 2>"$work/err" </dev/null)
    local status=$?
    local why=""
    if grep -q "Sanitizer" "$work/err"; then
        why="a sanitizer's report on stderr"
    elif [ "$status" -ne "$expected" ]; then
        why="exit $status, expected $expected"
    elif [ -n "$(ls -A "$dir")" ]; then
        why="wrote $(ls -A "$dir" | tr '\n' ' ')"
    elif [ "$expected" -ne 0 ] && [ "$(grep -c . "$work/err")" -ne 1 ]; then
        why="$(grep -c . "$work/err") lines on stderr, expected one"
    elif [ "$expected" -ne 0 ] && ! grep -qF -- "$word" "$work/err"; then
        why="the message does not name '$word'"
    elif [ "$expected" -ne 0 ] && [ "$(wc -c <"$work/err")" -gt 400 ]; then
        why="a message of $(wc -c <"$work/err") characters"
    elif [ "$expected" -eq 0 ] && ! grep -q "usage" "$work/out"; then
        why="no usage on stdout"
    fi
    if [ -n "$why" ]; then
        echo "FAIL: $name $*: $why"
        sed 's/^/    stderr: /' "$work/err" | head -5
        failures=$((failures + 1))
    else
        passed=$((passed + 1))
    fi
}

for name in "${!program[@]}"; do
    check "$name" 0 "" --help
    check "$name" 2 "--no-such-option" --no-such-option
done

check panel-sim 2 "--screenshot" --screenshot
check panel-sim 2 "--screenshot" --screenshot ""
check panel-sim 2 "--screenshot" --screenshot --headless
check panel-sim 2 "--seconds" --headless --seconds nan
check panel-sim 2 "--seconds" --headless --seconds inf
check panel-sim 2 "--seconds" --headless --seconds 1e3x
check panel-sim 2 "--speed" --speed nan
check panel-sim 2 "--exit-after" --exit-after nan
check panel-sim 2 "--scale" --scale 0
check panel-sim 2 "--speed" --headless --speed 2
check panel-sim 2 "--scale" --script x.script --scale 2
check panel-sim 2 "--exit-after" --headless --exit-after 1
check panel-sim 2 "--script" --headless --script x.script
check panel-sim 2 "--seconds" --script x.script --seconds 3
check panel-sim 2 "--controller" --controller B
check panel-sim 2 "--serial" --serial-pty --serial /dev/null
check panel-sim 2 "folder" --script /
check panel-sim 2 "unexpected" stray-file.png
# Files a run would write, checked before it starts: a missing or read-only folder, a folder.
mkdir -p "$work/read-only" && chmod 555 "$work/read-only"
check panel-sim 2 "'nowhere' does not exist" --headless --seconds 600 --screenshot nowhere/end.png
check panel-sim 2 "is a folder" --headless --screenshot /
check panel-sim 2 "--modbus-log 'nowhere/m.log'" --headless --modbus-log nowhere/m.log
check panel-sim 2 "--record 'nowhere/s.script'" --record nowhere/s.script
# As root every folder is writable; the read-only one is tried as nobody.
as_user=()
[ "$(id -u)" -eq 0 ] && chmod 755 "$work" && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
for option in --screenshot --modbus-log; do
    (cd / && "${as_user[@]}" "${program[panel-sim]}" --headless $option "$work/read-only/out" \
        >/dev/null 2>"$work/ro.err")
    status=$?
    if [ "$status" -ne 2 ] || [ "$(grep -c . "$work/ro.err")" -ne 1 ] || ! grep -q "not writable" "$work/ro.err"; then
        echo "FAIL: panel-sim $option in a read-only folder: exit $status"; sed 's/^/    stderr: /' "$work/ro.err" | head -3
        failures=$((failures + 1))
    else
        passed=$((passed + 1))
    fi
done
# An --image that is not an ARM image of this board: text, an ELF of another machine, a flat
# binary whose vector table holds no stack pointer in SRAM or no Thumb reset entry in flash.
printf '# A text file\nnot an image\n' >"$work/text.md"
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xf3\x00\x01\x00\x00\x00' >"$work/riscv.elf"
head -c 52 /dev/zero >>"$work/riscv.elf"
printf '\x00\x10\x00\x20\x40\x00\x00\x00' >"$work/even-reset.bin"
printf '\x00\x10\x00\x30\x41\x00\x00\x00' >"$work/bad-stack.bin"
check panel-sim 2 "not a firmware image" --headless --image "$work/text.md"
check panel-sim 2 "ELF file for RISC-V" --headless --image "$work/riscv.elf"
check panel-sim 2 "ELF file for x86-64" --headless --image "$(command -v bash)"
check panel-sim 2 "not Thumb code in flash" --headless --image "$work/even-reset.bin"
check panel-sim 2 "not a stack pointer in SRAM" --headless --image "$work/bad-stack.bin"
check panel-sim 2 "cannot read" --headless --image "$work/no-such-image.elf"
# The debugger's options: only for the image, a port that is one, and one that is free.
printf '\x00\x10\x00\x20\x41\x00\x00\x00' >"$work/flat.bin"
python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen()
print(s.getsockname()[1], flush=True); time.sleep(60)' >"$work/taken.port" &
taker=$!
for _ in $(seq 1 50); do [ -s "$work/taken.port" ] && break; sleep 0.1; done
check panel-sim 2 "--gdb debugs the ARM image" --headless --gdb 3333
check panel-sim 2 "--gdb-wait" --headless --image "$work/flat.bin" --gdb-wait
check panel-sim 2 "--gdb" --headless --image "$work/flat.bin" --gdb 70000
check panel-sim 2 "127.0.0.1:$(cat "$work/taken.port")" --headless --image "$work/flat.bin" --gdb "$(cat "$work/taken.port")"
kill $taker 2>/dev/null
# Ordinary errors while starting, with nothing printed but their one line.
check remote-module 1 "/nonexistent" --device /nonexistent
check paramblock 1 "no-such-area.bin" read no-such-area.bin
check fontgen 1 "cannot open /nonexistent" --regular /nonexistent --bold /nonexistent --out-dir .
check artgen 1 "cannot open the font" --regular /nonexistent --bold /nonexistent --out o.cpp
check imagegen 1 "no-such.png" --format 0x88 --name n --in no-such.png --out o.cpp
check panel-sim 2 "--vcd-groups" --headless --vcd t.vcd --vcd-groups display,lcd
check panel-sim 2 "--vcd-groups" --headless --vcd t.vcd --vcd-groups uart,
check panel-sim 2 "--vcd-start" --headless --vcd-start 10
check panel-sim 2 "--vcd-end" --headless --vcd t.vcd --vcd-start 10 --vcd-end 5
check panel-sim 2 "--vcd" --headless --vcd -
check panel-sim 2 "--vcd" --headless --vcd no-such-folder/t.vcd
check panel-sim 2 "--vcd" --headless --vcd /
check fontgen 2 "--preview" --regular a.ttf --bold b.ttf --out-dir . --preview
check fontgen 2 "--preview" --regular a.ttf --bold b.ttf --out-dir . --preview --bold
check fontgen 2 "--out-dir" --regular a.ttf --bold b.ttf
check font-specimen 2 "OUT.png"
check font-specimen 2 "unexpected" a.png b.png
check imagegen 2 "--out" --format 0x88 --name n --in a.png --out
check imagegen 2 "--out" --format 0x88 --name n --in a.png --out --bogus
check imagegen 2 "--format" --format 0x99 --name n --in a.png --out o.cpp
check imagegen 2 "--format" --format 12abc --name n --in a.png --out o.cpp
check imagegen 2 "not a C++ identifier" --format 0x88 --name "not an identifier" --in a.png --out o.cpp
check artgen 2 "--png-scale" --regular a --bold b --out o.cpp --png-dir d --png-scale 99
check artgen 2 "--out" --regular a --bold b
check projgen 2 "DESCRIPTION"
check projgen 2 "--out" project.toml --out
check projgen 2 "unexpected" a.toml b.toml
check paramblock 2 "command" frobnicate
check paramblock 2 "--set" add area.bin --set 0 1 2
check paramblock 2 "--set" add area.bin
check paramblock 2 "AREA" new
check paramblock 2 "--slot" add area.bin --set 0 1 2 3 4 5 6 7 --slot 6
check remote-module 2 "--device" --device
check remote-module 2 "--parity" --device x --parity X
check remote-module 2 "--slave" --device x --slave 300
check remote-module 2 "--baud" --device x --baud -9600
check remote-module 2 "--data" --device x --data 9
check remote-module 2 "--stop" --device x --stop 3
check remote-module 2 "--on-hang-up" --device x --on-hang-up maybe

# Script lines panel-sim must refuse before running anything (the first line would write a file).
while IFS='|' read -r line word; do
    printf 'screenshot first.png\n%b\n' "$line" >"$work/bad.script"
    check panel-sim 2 "bad.script:2:" --script "$work/bad.script"
    grep -qF -- "$word" "$work/err" || { echo "FAIL: script line '$line': message lacks '$word'"; failures=$((failures + 1)); }
done <<'LINES'
expect-pixel 0 0 ZZZ|RRGGBB
expect-pixel 0 0 FFFFFFFF1|RRGGBB
expect-pixel 0 0 12345|RRGGBB
expect-pixel 320 0 FFFFFF|X needs
wait 1e3x|MS
wait -5|MS
wait nan|MS
tap 10 10 abc|MS
tap 10 10 -100|MS
tap 10 10 0|above 0
tap 10|X and Y
touch 5000 5000|X needs
touch 2147483647 -2147483648|X needs
touch 1 2 3|unexpected '3'
screenshot my file.png|unexpected 'file.png'
screenshot|file name
release now|unexpected
profile 0|N needs
profile 5 more|unexpected
frobnicate|unknown command
screenshot nowhere/shot.png|'nowhere' does not exist
screenshot /|is a folder
modbus-log nowhere/m.log|'nowhere' does not exist
wait 10\0|bad.script:2:8: a NUL character
tap 1 2\033[A|bad.script:2:8: the control character 0x1B
wait\r1|bad.script:2:5: the control character 0x0D
frobnicate\xEF\xBB\xBF|unknown command 'frobnicate<U+FEFF>'
LINES

# A byte-order mark at the top, CR LF line ends and tabs are accepted.
printf '\xEF\xBB\xBFwait\t10\r\nstatus\r\n' >"$work/bom.script"
(cd "$work" && "${program[panel-sim]}" --script bom.script >"$work/out" 2>"$work/err")
if [ $? -ne 0 ] || ! grep -q "t=   0.010 s" "$work/out"; then
    echo "FAIL: a script with a byte-order mark, CR LF and a tab"; sed 's/^/    stderr: /' "$work/err" | head -3
    failures=$((failures + 1))
else
    passed=$((passed + 1))
fi
# A bad line of 100 000 characters is quoted in part, not echoed whole.
{ echo "screenshot first.png"; printf 'frob%0100000d\n' 0; } >"$work/long.script"
check panel-sim 2 "(100004 characters)" --script "$work/long.script"
{ echo "screenshot first.png"; printf 'wait 1%0100000d\n' 0; } >"$work/long.script"
check panel-sim 2 "long.script:2: MS needs" --script "$work/long.script"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
