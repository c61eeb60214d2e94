#!/usr/bin/env bash
# kill-runs.sh BIN [KILLS] [INTERRUPTS]: saves (to a new package and over an existing one) and
# exports, cut by SIGKILL or by SIGINT/SIGTERM at random moments, with the tools in BIN. After
# every cut the target must be the old one or a new one that reads back; after an interrupt
# nothing of ours may be left beside it, and after a kill the next run removes what it left.
# Prints the counts; exits 1 when any check failed. Run by hand (it takes minutes).
set -u
bin="$1"
kills="${2:-100}"
interrupts="${3:-20}"
work="$(mktemp -d /tmp/vistrel-kill-runs.XXXXXX)"
trap 'rm -rf "$work"' EXIT
out="$work/out"
mkdir -p "$out"
export QT_QPA_PLATFORM=offscreen

"$bin/vistrel-synthetic-recording" "$work/in.vistrelRecord" --seconds 6 --fps 30 --size 960x540 >/dev/null 2>&1 ||
  { echo "no recording"; exit 1; }
"$bin/vistrel-document" "$work/in.vistrelRecord" --save "$work/base.vistrelcomposition" >/dev/null 2>&1 ||
  { echo "no composition"; exit 1; }

failures=0
left_after_kill=0
left_after_interrupt=0
old_kept=0
new_made=0

leftovers() { find "$out" -maxdepth 1 -name '.vistrel-*' | wc -l; }

# Whether the target reads back: a package the document tool opens, or a movie ffprobe reads.
readable() {
  case "$1" in
  *.mov) ffprobe -v error "$1" >/dev/null 2>&1 ;;
  *) "$bin/vistrel-document" "$1" --summary >/dev/null 2>&1 ;;
  esac
}

one_run() { # KIND SIGNAL
  local kind="$1" signal="$2" target command
  case "$kind" in
  new)
    target="$out/new.vistrelcomposition"
    rm -rf "$target"
    command=("$bin/vistrel-document" "$work/in.vistrelRecord" --save "$target")
    ;;
  over)
    target="$out/over.vistrelcomposition"
    [ -d "$target" ] || cp -r "$work/base.vistrelcomposition" "$target"
    command=("$bin/vistrel-document" "$work/in.vistrelRecord" --save "$target")
    ;;
  movie)
    target="$out/movie.mov"
    command=("$bin/vistrel-export" "$work/base.vistrelcomposition" "$target" --codec prores --fps 30)
    ;;
  esac
  local before="" earlier
  earlier="$(leftovers)"
  [ -e "$target" ] && before="$(find "$target" -type f -exec md5sum {} + 2>/dev/null | sort | md5sum)"
  "${command[@]}" >/dev/null 2>&1 &
  local pid=$!
  sleep "0.$(printf '%03d' $((RANDOM % 1000)))"
  kill "-$signal" "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  if [ -e "$target" ]; then
    local after
    after="$(find "$target" -type f -exec md5sum {} + 2>/dev/null | sort | md5sum)"
    if [ "$after" = "$before" ]; then
      old_kept=$((old_kept + 1))
    elif readable "$target"; then
      new_made=$((new_made + 1))
    else
      echo "unreadable after $kind/$signal: $target"
      failures=$((failures + 1))
    fi
  fi
  if [ "$signal" = KILL ]; then
    left_after_kill=$((left_after_kill + $(leftovers)))
  else
    # What earlier kills left is not this run's: a save does not remove an export's temporaries.
    local left
    left=$(($(leftovers) - earlier))
    if [ "$left" -gt 0 ]; then
      echo "left after $kind/$signal:"
      find "$out" -maxdepth 1 -name '.vistrel-*'
      failures=$((failures + 1))
      left_after_interrupt=$((left_after_interrupt + left))
    fi
  fi
}

kinds=(new over movie)
for ((i = 0; i < kills; i++)); do one_run "${kinds[i % 3]}" KILL; done
for ((i = 0; i < interrupts; i++)); do
  signal=INT
  [ $((i % 2)) -eq 1 ] && signal=TERM
  one_run "${kinds[i % 3]}" "$signal"
done
# One whole save and one whole export clear what the kills left.
"$bin/vistrel-document" "$work/in.vistrelRecord" --save "$out/last.vistrelcomposition" >/dev/null 2>&1
"$bin/vistrel-export" "$work/base.vistrelcomposition" "$out/last.mov" --fps 5 >/dev/null 2>&1
remaining="$(leftovers)"
[ "$remaining" -eq 0 ] || failures=$((failures + 1))

echo "kills $kills, interrupts $interrupts: old kept $old_kept, new made $new_made," \
  "leftovers seen after kills $left_after_kill, after interrupts $left_after_interrupt," \
  "left at the end $remaining, failures $failures"
[ "$failures" -eq 0 ]
