#!/bin/sh
# The README's script table is the registry's: panel-sim --list-commands prints it, and the
# README must hold the same lines.
#   command_table.sh PANEL_SIM README
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$1" --list-commands >"$work/registry.md"
[ -s "$work/registry.md" ] || { echo "command_table: --list-commands printed nothing"; exit 1; }
# The README's table: from its heading to the first line that is not a row.
awk '/^\| command \| what it does \|$/ { table = 1 } table && !/^\|/ { exit } table' "$2" \
    >"$work/readme.md"
[ -s "$work/readme.md" ] || { echo "command_table: no script table in $2"; exit 1; }
if ! diff -u "$work/readme.md" "$work/registry.md"; then
    echo "command_table: the README's script table differs from panel-sim --list-commands"
    exit 1
fi
echo "command_table: $(($(wc -l <"$work/registry.md") - 2)) commands, the README's table is the registry's"
