#!/usr/bin/env bash
# Checks the library boundaries of a configured build (default build/test), from the target list
# the configure step writes (vistrel-targets.txt):
#  - Qt, xcb, D-Bus and PulseAudio stay out of the link closure of the model, the package format,
#    the JPEG glue, the package reader, the pointer data, the package dump tool and the package
#    fuzzers; Qt Widgets stay out of the recorder engine.
#  - A library under src/ includes headers only of itself and of the libraries it declares
#    (directly, or through their public dependencies), and links no subsystem library (under src/
#    but not src/platform) whose headers it never includes.
#  - Above src/platform no file includes a system or outside-library header (a name ending in .h,
#    compiler intrinsics aside), and the Qt-free libraries include no Qt header.
# Prints one line per fault and fails when there is any. Usage: check-layers.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/test}"
list="$build/vistrel-targets.txt"
[ -f "$list" ] || { echo "check-layers: $list is missing; configure the build first."; exit 1; }

qt_free="model recorder_format platform_jpeg platform_pixels tracks_reader tracks_metadata vistrel-package-dump recording_format_fuzzer recording_package_fuzzer mouse_file_fuzzer"
widget_free="recorder"
forbidden='(^|[^a-z])(qt[0-9]|xcb|dbus|pulse)'
src="$root/src"

# Libraries under src/: name and folder relative to src/.
libraries="$(awk -F'\t' -v src="$src/" '
  ($2 == "STATIC_LIBRARY" || $2 == "SHARED_LIBRARY" || $2 == "OBJECT_LIBRARY") && index($3, src) == 1 {
    print $1 "\t" substr($3, length(src) + 1)
  }' "$list")"

includes="$(mktemp)"
angles="$(mktemp)"
trap 'rm -f "$includes" "$angles"' EXIT
quoted='^[[:space:]]*#[[:space:]]*include[[:space:]]*"'
angled='^[[:space:]]*#[[:space:]]*include[[:space:]]*<'
# Prints NAME<TAB>FILE<TAB>INCLUDED for each include matching PATTERN in the files named on stdin.
list_includes() { # NAME PATTERN OPEN CLOSE
  xargs -r -d '\n' grep -H -E "$2" 2>/dev/null |
    sed -E "s|^([^:]*):[^$3]*$3([^$4]*)$4.*|$1\t\1\t\2|" || true
}
# Each library's own files (those of libraries nested in its folder left out).
while IFS=$'\t' read -r name dir; do
  [ -n "$name" ] || continue
  prune=()
  while IFS=$'\t' read -r _ other; do
    case "$other" in "$dir"/*) prune+=(-path "$src/$other" -prune -o) ;; esac
  done <<<"$libraries"
  files="$(find "$src/$dir" "${prune[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) -print)"
  list_includes "$name" "$quoted" '"' '"' <<<"$files"
  if [[ "$dir" != platform/* ]]; then list_includes "$name" "$angled" '<' '>' <<<"$files" >>"$angles"; fi
done <<<"$libraries" >"$includes"
find "$root/apps" -type f \( -name '*.h' -o -name '*.cpp' \) -print |
  list_includes "(program)" "$angled" '<' '>' >>"$angles"

awk -F'\t' -v qtFree="$qt_free" -v widgetFree="$widget_free" -v forbidden="$forbidden" -v root="$root/" '
  function relative(path) { return index(path, root) == 1 ? substr(path, length(root) + 1) : path }
  # The library owning an include path: the one with the longest folder that prefixes it.
  function owner(path,    best, bestLength, dir) {
    best = ""; bestLength = 0
    for (dir in libraryOfDir)
      if (index(path, dir "/") == 1 && length(dir) > bestLength) { best = libraryOfDir[dir]; bestLength = length(dir) }
    return best
  }
  # Breadth first over everything linked; reports the first forbidden item with the way to it.
  function checkClosure(start, pattern, what,    queue, head, tail, item, parts, n, i, next_, seen, parent, path, p) {
    if (!(start in links)) return
    head = 0; tail = 0; queue[tail++] = start; seen[start] = 1
    while (head < tail) {
      item = queue[head++]
      n = split(links[item], parts, ";")
      for (i = 1; i <= n; i++) {
        next_ = parts[i]
        if (next_ == "" || (next_ in seen)) continue
        seen[next_] = 1; parent[next_] = item
        if (tolower(next_) ~ pattern) {
          path = next_
          for (p = item; p != ""; p = parent[p]) path = p " -> " path
          printf "check-layers: %s links %s: %s\n", start, what, path
          faults++
          return
        }
        if (next_ in links) queue[tail++] = next_
      }
    }
  }
  # What LIB may include: itself, what it links directly, and what those pass on publicly.
  function markAllowed(lib,    n, parts, i, queue, head, tail, item, m, more, j, mark) {
    mark[lib] = 1
    head = 0; tail = 0
    n = split(links[lib], parts, ";")
    for (i = 1; i <= n; i++) if (parts[i] != "" && !(parts[i] in mark)) { mark[parts[i]] = 1; queue[tail++] = parts[i] }
    while (head < tail) {
      item = queue[head++]
      m = split(publicLinks[item], more, ";")
      for (j = 1; j <= m; j++) if (more[j] != "" && !(more[j] in mark)) { mark[more[j]] = 1; queue[tail++] = more[j] }
    }
    for (item in mark) allowed[lib, item] = 1
    allowedDone[lib] = 1
  }
  FILENAME == ARGV[1] { links[$1] = $4; publicLinks[$1] = $5; next }
  FILENAME == ARGV[2] {
    if ($1 == "") next
    libraryOfDir[$2] = $1; isLibrary[$1] = 1
    if ($2 !~ /^platform\//) isSubsystem[$1] = 1
    next
  }
  FILENAME == ARGV[3] {
    lib = $1; target = owner($3)
    if (target == "") next
    used[lib, target] = 1
    if (target == lib) next
    if (!(lib in allowedDone)) markAllowed(lib)
    if (!((lib, target) in allowed)) {
      printf "check-layers: %s includes \"%s\" of %s, which it does not link (%s)\n", lib, $3, target, relative($2)
      faults++
    }
    next
  }
  FILENAME == ARGV[4] {
    # Compiler intrinsics (<xmmintrin.h>, <arm_neon.h>) belong to the compiler, not to a system.
    if ($3 ~ /\.h$/ && $3 !~ /intrin\.h$/ && $3 != "arm_neon.h") {
      printf "check-layers: %s includes <%s> above src/platform\n", relative($2), $3
      faults++
    } else if ($3 ~ /^Q/ && index(" " qtFree " " widgetFree " ", " " $1 " ") > 0) {
      printf "check-layers: %s includes the Qt header <%s>\n", relative($2), $3
      faults++
    }
    next
  }
  END {
    n = split(qtFree, names, " ")
    for (i = 1; i <= n; i++) checkClosure(names[i], forbidden, "Qt, xcb, D-Bus or PulseAudio")
    n = split(widgetFree, names, " ")
    for (i = 1; i <= n; i++) checkClosure(names[i], "widgets", "Qt Widgets")
    for (lib in isLibrary) {
      m = split(links[lib], parts, ";")
      for (j = 1; j <= m; j++)
        if ((parts[j] in isSubsystem) && !((lib, parts[j]) in used)) {
          printf "check-layers: %s links %s but includes none of its headers\n", lib, parts[j]
          faults++
        }
    }
    exit (faults > 0 ? 1 : 0)
  }
' "$list" <(printf '%s\n' "$libraries") "$includes" "$angles"
