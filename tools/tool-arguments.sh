#!/bin/sh
# tool-arguments.sh TOOL: the developer tool answers --help with its usage on standard output and
# status 0, and an option it does not know with "unknown option X" and its usage, status 2.
tool="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
"$tool" --help >"$scratch/out" 2>"$scratch/err"
status=$?
if [ "$status" -ne 0 ] || ! grep -q '^usage: ' "$scratch/out" || [ -s "$scratch/err" ]; then
  echo "--help: status $status"; cat "$scratch/out" "$scratch/err"; exit 1
fi
"$tool" --no-such-option >"$scratch/out" 2>"$scratch/err"
status=$?
if [ "$status" -ne 2 ] || ! grep -q 'unknown option --no-such-option' "$scratch/err" || ! grep -q 'usage: ' "$scratch/err"; then
  echo "unknown option: status $status"; cat "$scratch/out" "$scratch/err"; exit 1
fi
