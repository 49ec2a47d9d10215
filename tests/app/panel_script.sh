#!/usr/bin/env bash
# The two README commands on a machine with nothing installed, played against stand-ins for the
# package manager and the build: `./panel sim` installs only what the simulator needs and keeps
# the package manager's output in a log (showing its end only when the installation fails);
# `./panel test` installs everything the tests need.
#   panel_script.sh PANEL_SCRIPT
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/root/build/host-release/app"
cp "$1" "$work/root/panel" && chmod +x "$work/root/panel"
stub() {  # stub NAME BODY
    printf '#!/bin/sh\n%s\n' "$2" >"$work/bin/$1"
    chmod +x "$work/bin/$1"
}
stub dpkg-query 'exit 1'  # nothing is installed
stub id 'echo 0'          # as root
stub cmake 'exit 0'
stub ctest 'exit 0'
# apt-get is as talkative as the real one (about 600 lines for the whole list).
stub apt-get 'echo "apt-get $*" >>"$APT_CALLS"
i=0; while [ $i -lt 300 ]; do echo "Unpacking package-$i (1.0-1) ..."; i=$((i + 1)); done
if [ -n "${APT_FAIL:-}" ] && [ "$1" = install ]; then echo "E: Unable to locate package $APT_FAIL"; exit 100; fi'
stub panel-sim-stand-in 'echo "panel-sim ran with $*"'
cp "$work/bin/panel-sim-stand-in" "$work/root/build/host-release/app/panel-sim"

failures=0
fail() {
    echo "FAIL: $*"
    sed 's/^/    /' "$work/out" | head -20
    failures=$((failures + 1))
}
run() {  # run COMMAND...: the copy of the script with the stand-ins first on the path
    : >"$work/calls"
    (cd "$work/root" && PATH="$work/bin:$PATH" TMPDIR="$work" APT_CALLS="$work/calls" ./panel "$@") \
        >"$work/out" 2>&1
}
installed() {  # the packages of the install call
    grep '^apt-get .*install' "$work/calls" | sed 's/.*--no-install-recommends//'
}

run sim --headless
status=$?
[ "$status" -eq 0 ] || fail "./panel sim: exit $status"
grep -q "panel-sim ran with --headless" "$work/out" || fail "./panel sim did not start panel-sim"
lines=$(grep -c . "$work/out")
[ "$lines" -le 4 ] || fail "./panel sim printed $lines lines (the package manager's output should stay in its log)"
for needed in libsdl2-dev libunicorn-dev libcpp-httplib-dev libmodbus-dev cmake g++; do
    installed | grep -qw -- "$needed" || fail "./panel sim does not install $needed"
done
for unneeded in gcc-arm-none-eabi chromium chromium-driver python3-selenium xvfb xdotool fonts-cmu; do
    if installed | grep -qw -- "$unneeded"; then fail "./panel sim installs $unneeded, which only the tests need"; fi
done

run test
[ $? -eq 0 ] || fail "./panel test: exit $?"
for needed in gcc-arm-none-eabi libnewlib-arm-none-eabi chromium chromium-driver python3-selenium xvfb xdotool fonts-cmu libsdl2-dev; do
    installed | grep -qw -- "$needed" || fail "./panel test does not install $needed"
done

APT_FAIL=no-such-package run sim
status=$?
[ "$status" -ne 0 ] || fail "./panel sim went on after the installation failed"
grep -q "E: Unable to locate package no-such-package" "$work/out" || fail "a failed installation does not show the end of its log"
lines=$(grep -c . "$work/out")
[ "$lines" -le 40 ] || fail "a failed installation printed $lines lines (the log's end only)"
grep -q "panel-sim ran" "$work/out" && fail "panel-sim started after the installation failed"

[ "$failures" -eq 0 ] && echo "panel_script: both commands install what they need, quietly"
[ "$failures" -eq 0 ]
