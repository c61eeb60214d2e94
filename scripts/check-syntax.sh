#!/usr/bin/env bash
# Syntax-only clang passes over src/, with each library's include paths and defines taken from a
# configured build (default build/test; nothing needs to be built):
#   headers        every header compiles alone (it includes what it uses);
#   thread-safety  every source of every library passes clang's -Wthread-safety (the lock
#                  annotations of platform/foundation/ThreadAnnotations.h); sources that see no
#                  annotation are left out, the analysis has nothing to check in them;
#   all            both, as the test command runs them.
# Runs VISTREL_JOBS compilers at once (default: all cores). Prints one line per error as
# path:line: message, then clang's own report, and fails when there is any.
# Usage: check-syntax.sh [all|headers|thread-safety] [BUILD_DIR] [PATH_REGEX (only matching files)]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode="${1:-all}"
case "$mode" in
  all | headers | thread-safety) ;;
  *) echo "usage: check-syntax.sh [all|headers|thread-safety] [BUILD_DIR]" >&2; exit 2 ;;
esac
build="${2:-$root/build/test}"
only="${3:-}"
jobs="${VISTREL_JOBS:-$(nproc)}"
clang="${VISTREL_CLANG:-clang++}"
[ -f "$build/compile_commands.json" ] || { echo "check-syntax: $build is not configured." >&2; exit 1; }
command -v "$clang" >/dev/null || { echo "check-syntax: $clang is not installed." >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/results"
python3 "$root/scripts/syntax-jobs.py" "$root" "$build" "$work/flags" "$mode" |
  awk -F'\t' -v only="$only" 'only == "" || $3 ~ only' >"$work/jobs"

# One file: compiles it and on failure leaves its report in results/ (one file per job, so the
# reports of parallel jobs never interleave and come out in path order).
check_one() { # ROOT WORK CLANG KIND<TAB>RESPONSE_FILE<TAB>PATH
  local root="$1" work="$2" clang="$3" kind rsp file output
  IFS=$'\t' read -r kind rsp file <<<"$4"
  if [ "$kind" = header ]; then
    # Included from an empty unit, as a user of the header includes it; warnings are for the build.
    output="$(printf '#include "%s"\n' "${file#src/}" | "$clang" "@$rsp" -fsyntax-only -w -x c++ - 2>&1)" && return 0
  else
    output="$("$clang" "@$rsp" -fsyntax-only -Wno-everything -Wthread-safety -Werror=thread-safety \
      -fno-caret-diagnostics "$root/$file" 2>&1)" && return 0
  fi
  {
    # The location of each error in our tree: its own, or for an error inside an outside header
    # the first note in our tree (the line that instantiated it), else the innermost include of ours.
    awk -v root="$root/" -v file="$file" '
      function relative(path) { return index(path, root) == 1 ? substr(path, length(root) + 1) : path }
      function ours(path) { return index(path, root) == 1 }
      function flush() { if (pending != "") print (included != "" ? included : file ":1") ": " pending; pending = "" }
      /^In file included from / {
        if (!inChain) { flush(); included = "" }
        inChain = 1
        location = $0; sub(/^In file included from /, "", location); sub(/:$/, "", location)
        split(location, parts, ":")
        if (ours(parts[1])) included = relative(parts[1]) ":" parts[2]
        next
      }
      match($0, /^[^ :][^:]*:[0-9]+:[0-9]+: (fatal error|error|note): /) {
        split($0, parts, ":")
        kind = $0; sub(/^[^:]*:[0-9]+:[0-9]+: /, "", kind)
        if (kind !~ /^note: /) {
          if (!inChain) { flush(); included = "" }
          if (ours(parts[1])) print relative(parts[1]) ":" parts[2] ": " kind
          else pending = kind
        } else if (pending != "" && ours(parts[1])) {
          included = relative(parts[1]) ":" parts[2]
          flush()
        }
        inChain = 0
        next
      }
      END { flush() }
    ' <<<"$output"
    # clang'"'"'s report, indented and cut short, for the whole story.
    sed -e "s|$root/||g" -e 's/^/    /' <<<"$output" | head -n 40
  } >"$work/results/$(tr '/' '%' <<<"$file")"
}
export -f check_one

xargs -d '\n' -r -P "$jobs" -n 1 bash -c 'check_one "$@"' _ "$root" "$work" "$clang" <"$work/jobs" || true

shopt -s nullglob
reports=("$work/results"/*)
total="$(wc -l <"$work/jobs")"
if [ ${#reports[@]} -eq 0 ]; then
  echo "check-syntax $mode: $total files pass."
  exit 0
fi
cat "${reports[@]}"
echo "check-syntax $mode: ${#reports[@]} of $total files fail."
exit 1
