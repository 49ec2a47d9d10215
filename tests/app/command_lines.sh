#!/usr/bin/env bash
# Every program follows one command-line convention: --help on stdout with exit 0; a bad option
# or value is one line on stderr naming it, exit 2, and nothing written. Each case runs in an
# empty folder, which must stay empty. Script mistakes in panel-sim are refused the same way
# (the whole script is checked before anything runs), naming the line.
#   command_lines.sh panel-sim=PATH fontgen=PATH ... (one NAME=PATH per program)
set -u
declare -A program
for assignment in "$@"; do program[${assignment%%=*}]=${assignment#*=}; done
export ASAN_OPTIONS=detect_leaks=0
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
    if [ "$status" -ne "$expected" ]; then
        why="exit $status, expected $expected"
    elif [ -n "$(ls -A "$dir")" ]; then
        why="wrote $(ls -A "$dir" | tr '\n' ' ')"
    elif [ "$expected" -eq 2 ] && [ "$(grep -c . "$work/err")" -ne 1 ]; then
        why="$(grep -c . "$work/err") lines on stderr, expected one"
    elif [ "$expected" -eq 2 ] && ! grep -qF -- "$word" "$work/err"; then
        why="the message does not name '$word'"
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
    printf 'screenshot first.png\n%s\n' "$line" >"$work/bad.script"
    check panel-sim 2 "bad.script:2: " --script "$work/bad.script"
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
LINES

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
