#!/bin/sh
# refuses-other-folders.sh TOOL: a folder holding other files is refused with status 1 and left
# as it was; an empty folder becomes a package.
tool="$1"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/photos" "$scratch/empty"
echo "a photo" >"$scratch/photos/photo.jpg"
"$tool" "$scratch/photos" --seconds 1 --fps 2 --size 32x32 >/dev/null 2>"$scratch/err"
status=$?
if [ "$status" -ne 1 ] || [ "$(ls "$scratch/photos")" != "photo.jpg" ]; then
  echo "other folder: status $status"; cat "$scratch/err"; ls "$scratch/photos"; exit 1
fi
"$tool" "$scratch/empty" --seconds 1 --fps 2 --size 32x32 >/dev/null 2>"$scratch/err" || {
  echo "empty folder refused"; cat "$scratch/err"; exit 1
}
