#!/bin/sh
# refuses-non-files.sh TOOL FOLDER: the dump tool refuses a folder and a fifo with status 1 and
# one line on standard error, never an abort or a wait.
tool="$1"
folder="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkfifo "$scratch/fifo"
for path in "$folder" "$scratch/fifo"; do
  timeout 20 "$tool" "$path" >/dev/null 2>"$scratch/err"
  status=$?
  if [ "$status" -ne 1 ] || [ "$(wc -l <"$scratch/err")" -ne 1 ]; then
    echo "$path: status $status"
    cat "$scratch/err"
    exit 1
  fi
done
