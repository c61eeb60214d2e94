#!/usr/bin/env bash
# Checks the video effects against their golden pictures and writes a contact sheet of them all
# for review. --regenerate rewrites the golden pictures from the current code (review the sheet
# before committing them). Usage: scripts/effect-goldens.sh [--regenerate] [SHEET.png]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
regenerate=0
sheet="$root/build/effect-contact-sheet.png"
for arg in "$@"; do
  case "$arg" in
    --regenerate) regenerate=1 ;;
    -h|--help) sed -n '2,4p' "$0"; exit 0 ;;
    *) sheet="$arg" ;;
  esac
done
build="$root/build/plain"
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTREL_SANITIZE=OFF >/dev/null
cmake --build "$build" --target imaging_tests
VISTREL_UPDATE_EFFECT_GOLDENS="$regenerate" VISTREL_EFFECT_CONTACT_SHEET="$sheet" QT_QPA_PLATFORM=offscreen \
  "$build/tests/imaging/imaging_tests" --gtest_filter='EffectFilters.DefaultValuesGiveTheGoldenPictures'
echo "Contact sheet: $sheet"
