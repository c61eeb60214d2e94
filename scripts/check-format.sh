#!/usr/bin/env bash
# Checks that every C++ file of the tree is laid out as .clang-format says. Prints each place that
# is not as path:line:column and fails when there is any; `clang-format -i FILE` fixes a file.
# Runs VISTREL_JOBS formatters at once (default: all cores).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
jobs="${VISTREL_JOBS:-$(nproc)}"
format="${VISTREL_CLANG_FORMAT:-clang-format}"
command -v "$format" >/dev/null || { echo "check-format: $format is not installed." >&2; exit 1; }
cd "$root"

# The files git knows (build folders and scratch files left out); a tree without git, all of them.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  files="$(git ls-files -co --exclude-standard -- '*.h' '*.hpp' '*.c' '*.cc' '*.cpp')"
else
  files="$(find . -path ./build -prune -o -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.c' -o -name '*.cc' \
    -o -name '*.cpp' \) -print | sed 's|^\./||')"
fi
# Deleted but not yet committed files are still listed by git.
files="$(while IFS= read -r file; do [ -f "$file" ] && printf '%s\n' "$file"; done <<<"$files")"

report="$(xargs -d '\n' -r -P "$jobs" -n 40 "$format" --dry-run -Werror --ferror-limit=5 <<<"$files" 2>&1 || true)"
faults="$(grep -E '^[^ ]+:[0-9]+:[0-9]+: (error|warning):' <<<"$report" || true)"
if [ -z "$faults" ]; then
  if [ -n "$report" ]; then
    # clang-format itself failed (a file it cannot read, a bad .clang-format).
    echo "$report"
    exit 1
  fi
  echo "check-format: $(grep -c . <<<"$files") files are formatted."
  exit 0
fi
sort -t: -k1,1 -k2,2n <<<"$faults" | sed -E 's/ \[-Wclang-format-violations\]$//'
echo "check-format: $(cut -d: -f1 <<<"$faults" | sort -u | wc -l) files are not formatted (clang-format -i fixes them)."
exit 1
