#!/usr/bin/env bash
# Checks the library boundaries of a configured build (default build/test), from the target list
# the configure step writes (vistrel-targets.txt):
#  - Qt, xcb, D-Bus and PulseAudio stay out of the link closure of the model, the package format,
#    the JPEG glue, the package reader, the pointer data, the package dump tool and the package
#    fuzzers; the recorder engine includes no Qt header.
#  - Only views libraries (*_views) and platform_ui have Qt Widgets in their link closure, and only
#    they include a Qt Widgets header. Programs (apps, tools, tests) may link widgets: they are
#    where views are put together.
#  - A views library links no other subsystem's views library but drawing_views and
#    mainwindow_views: a window that shows another's view is handed a factory for it by the
#    composition root (apps/vistrel/main.cpp).
#  - Library dependencies have no cycle.
#  - A library under src/ includes headers only of itself and of the libraries it declares
#    (directly, or through their public dependencies), and links no subsystem library (under src/
#    but not src/platform) whose headers it never includes.
#  - Above src/platform no file includes a system or outside-library header (a name ending in .h,
#    compiler intrinsics aside), and the Qt-free libraries include no Qt header.
# Prints one line per fault (path:line: where a file says it) and fails when there is any.
# Usage: check-layers.sh [BUILD_DIR]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/test}"
list="$build/vistrel-targets.txt"
[ -f "$list" ] || { echo "check-layers: $list is missing; configure the build first."; exit 1; }

qt_free="model recorder_format platform_jpeg platform_pixels tracks_reader tracks_metadata vistrel-package-dump recording_format_fuzzer recording_package_fuzzer mouse_file_fuzzer"
qt_header_free="recorder"
# The views libraries every views library may link; platform_ui is no views library and free to link.
shared_views="drawing_views mainwindow_views"
forbidden='(^|[^a-z])(qt[0-9]|xcb|dbus|pulse)'
src="$root/src"

# Qt Widgets headers: the names in the widget modules' include folders that no other Qt module has
# too (Qt 6 keeps lower-case forwarding headers such as qaction.h in QtWidgets for QtGui classes).
widget_headers=""
widgets_dir="$(grep -o -E -- '-isystem [^ "]*/QtWidgets( |")' "$build/compile_commands.json" 2>/dev/null |
  head -n1 | sed -E 's/^-isystem //; s/[ "]$//' || true)"
if [ -n "$widgets_dir" ] && [ -d "$widgets_dir" ]; then
  qt_include="$(dirname "$widgets_dir")"
  widget_headers="$(
    for module in QtWidgets QtOpenGLWidgets; do
      [ -d "$qt_include/$module" ] && ls "$qt_include/$module"
    done | sort -u | comm -23 - <(
      find "$qt_include" -mindepth 2 -maxdepth 2 -not -path '*/QtWidgets/*' -not -path '*/QtOpenGLWidgets/*' \
        -printf '%f\n' | sort -u) | tr '\n' ' '
  )"
fi

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
  xargs -r -d '\n' grep -H -n -E "$2" 2>/dev/null |
    sed -E "s|^([^:]*):([0-9]+):[^$3]*$3([^$4]*)$4.*|$1\t\1:\2\t\3|" || true
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
  list_includes "$name" "$angled" '<' '>' <<<"$files" >>"$angles"
done <<<"$libraries" >"$includes"
find "$root/apps" -type f \( -name '*.h' -o -name '*.cpp' \) -print |
  list_includes "(program)" "$angled" '<' '>' >>"$angles"

awk -F'\t' -v qtFree="$qt_free" -v qtHeaderFree="$qt_header_free" -v sharedViews="$shared_views" \
  -v widgetHeaders="$widget_headers" -v forbidden="$forbidden" -v root="$root/" '
  function relative(path) { return index(path, root) == 1 ? substr(path, length(root) + 1) : path }
  function isViews(lib) { return lib ~ /_views$/ || lib == "platform_ui" }
  # The library owning an include path: the one with the longest folder that prefixes it.
  function owner(path,    best, bestLength, dir) {
    best = ""; bestLength = 0
    for (dir in libraryOfDir)
      if (index(path, dir "/") == 1 && length(dir) > bestLength) { best = libraryOfDir[dir]; bestLength = length(dir) }
    return best
  }
  # Where a target is declared: the line of the CMakeLists.txt of its folder that names it.
  function declaration(target,    file, line, n, found) {
    if (!(target in folderOf) || folderOf[target] == "") return "check-layers"
    file = folderOf[target] "/CMakeLists.txt"
    n = 0; found = 0
    while ((getline line < file) > 0) {
      n++
      if (line ~ ("\\(" target "([ )]|$)")) { found = n; break }
    }
    close(file)
    return relative(file) ":" (found ? found : 1)
  }
  # Breadth first over everything linked; reports the first item matching PATTERN with the way to it.
  # With ONLY_OWN, libraries of the build that are checked themselves are not looked into, so a
  # fault is reported where it is made, not by every library above it.
  function checkClosure(start, pattern, what, onlyOwn,    queue, head, tail, item, parts, n, i, next_, seen, parent, path, p) {
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
          printf "%s: %s links %s: %s\n", declaration(start), start, what, path
          faults++
          return
        }
        if ((next_ in links) && !(onlyOwn && (next_ in isBuiltLibrary) && !isViews(next_))) queue[tail++] = next_
      }
    }
  }
  # Depth first over the links between libraries of the build; each cycle found is reported once,
  # as the way from where the search entered it back to its start.
  function findCycles(item,    n, parts, i, next_, cycle, j) {
    state[item] = 1; stack[++depth] = item
    n = split(links[item], parts, ";")
    for (i = 1; i <= n; i++) {
      next_ = parts[i]
      if (!(next_ in isBuiltLibrary)) continue
      if (state[next_] == 1) {
        cycle = next_
        for (j = depth; j >= 1 && stack[j] != next_; j--) cycle = stack[j] " -> " cycle
        printf "%s: library dependencies form a cycle: %s -> %s\n", declaration(next_), next_, cycle
        faults++
      } else if (state[next_] == 0) findCycles(next_)
    }
    depth--; state[item] = 2
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
  BEGIN {
    n = split(widgetHeaders, names, " ")
    for (i = 1; i <= n; i++) isWidgetHeader[names[i]] = 1
    n = split(sharedViews, names, " ")
    for (i = 1; i <= n; i++) isSharedViews[names[i]] = 1
  }
  FILENAME == ARGV[1] {
    links[$1] = $4; publicLinks[$1] = $5; folderOf[$1] = $3
    if ($2 ~ /_LIBRARY$/ && $2 != "INTERFACE_LIBRARY") isBuiltLibrary[$1] = 1
    next
  }
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
      printf "%s: %s includes \"%s\" of %s, which it does not link\n", relative($2), lib, $3, target
      faults++
    }
    next
  }
  FILENAME == ARGV[4] {
    lib = $1; included = $3
    if ((lib == "(program)" || (lib in isSubsystem)) && included ~ /\.h$/ && included !~ /intrin\.h$/ &&
        included != "arm_neon.h") {
      # Compiler intrinsics (<xmmintrin.h>, <arm_neon.h>) belong to the compiler, not to a system.
      printf "%s: includes <%s> above src/platform\n", relative($2), included
      faults++
    } else if (included ~ /^Q/ && index(" " qtFree " " qtHeaderFree " ", " " lib " ") > 0) {
      printf "%s: %s includes the Qt header <%s>\n", relative($2), lib, included
      faults++
    } else if (lib != "(program)" && !isViews(lib) &&
               (included in isWidgetHeader || included ~ /^Qt(OpenGL)?Widgets(\/|$)/)) {
      printf "%s: %s is no views library but includes the Qt Widgets header <%s>\n", relative($2), lib, included
      faults++
    }
    next
  }
  END {
    n = split(qtFree, names, " ")
    for (i = 1; i <= n; i++) checkClosure(names[i], forbidden, "Qt, xcb, D-Bus or PulseAudio")
    for (lib in isBuiltLibrary) if (!isViews(lib)) checkClosure(lib, "widgets", "Qt Widgets but is no views library", 1)
    for (lib in isBuiltLibrary) {
      if (lib !~ /_views$/) continue
      m = split(links[lib], parts, ";")
      for (j = 1; j <= m; j++)
        if (parts[j] ~ /_views$/ && parts[j] != lib && !(parts[j] in isSharedViews)) {
          printf "%s: %s links the views library %s of another subsystem; take a factory from the composition root\n",
            declaration(lib), lib, parts[j]
          faults++
        }
    }
    for (lib in isBuiltLibrary) if (state[lib] == 0) { depth = 0; findCycles(lib) }
    for (lib in isLibrary) {
      m = split(links[lib], parts, ";")
      for (j = 1; j <= m; j++)
        if ((parts[j] in isSubsystem) && !((lib, parts[j]) in used)) {
          printf "%s: %s links %s but includes none of its headers\n", declaration(lib), lib, parts[j]
          faults++
        }
    }
    exit (faults > 0 ? 1 : 0)
  }
' "$list" <(printf '%s\n' "$libraries") "$includes" "$angles" | sort
