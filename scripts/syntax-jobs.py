#!/usr/bin/env python3
"""Lists the syntax-only compile jobs of scripts/check-syntax.sh.

Reads a configured build folder: vistrel-targets.txt for the libraries under src/ and their
folders, compile_commands.json for each library's include paths, defines and language standard.
Writes one response file per library (OUT/<library>.rsp, clang's @file syntax) and prints one job
a line: "header" or "source", the response file and the path of the file to check relative to
the source root, separated by tabs.

  headers:       every .h under src/, with the flags of the library that owns its folder
  thread-safety: every .cpp under src/ that sees a thread-safety annotation (through its includes
                 in the tree); in the others the analysis has nothing to check
  all:           both (a source that opens with its header does not show that the header
                 compiles alone: templates are instantiated at the end of the unit, where the
                 source's later includes have completed the types a header only declares)

A file belongs to the library with the longest folder that contains it, as the build's own
globbing does (a library in a subfolder of another takes its files out of the outer one). Only
preprocessor and language flags are kept: warnings, optimisation and sanitizers do not matter
for a syntax-only pass, and a forced include (a precompiled header) would hide a header that
does not include what it uses.
"""

import json
import os
import re
import shlex
import sys

QUOTED_INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
# The clang attributes the analysis reads (platform/foundation/ThreadAnnotations.h spells them).
ANNOTATION = re.compile(
    r"\b(capability|scoped_lockable|guarded_by|pt_guarded_by|requires_capability|requires_shared_capability|"
    r"acquire_capability|release_capability|try_acquire_capability|locks_excluded|assert_capability|"
    r"no_thread_safety_analysis|acquired_before|acquired_after)\s*\("
)


def main():
    if len(sys.argv) != 5 or sys.argv[4] not in ("headers", "thread-safety", "all"):
        sys.exit("usage: syntax-jobs.py SOURCE_ROOT BUILD_DIR OUT_DIR headers|thread-safety|all")
    root, build, out, mode = (os.path.realpath(sys.argv[1]), os.path.realpath(sys.argv[2]), sys.argv[3], sys.argv[4])
    src = os.path.join(root, "src")

    folders = {}  # folder relative to src/ -> library
    with open(os.path.join(build, "vistrel-targets.txt"), encoding="utf-8") as targets:
        for line in targets:
            fields = line.rstrip("\n").split("\t")
            if len(fields) < 3 or not fields[1].endswith("_LIBRARY") or fields[1] == "INTERFACE_LIBRARY":
                continue
            folder = os.path.realpath(fields[2])
            if folder == src or folder.startswith(src + os.sep):
                folders[os.path.relpath(folder, src)] = fields[0]

    flags = {}  # library -> kept arguments
    with open(os.path.join(build, "compile_commands.json"), encoding="utf-8") as commands:
        entries = json.load(commands)
    for entry in entries:
        arguments = entry.get("arguments") or shlex.split(entry["command"])
        output = entry.get("output")
        if output is None and "-o" in arguments:
            output = arguments[arguments.index("-o") + 1]
        marker = "/CMakeFiles/"
        if not output or marker not in "/" + output:
            continue
        target = ("/" + output).split(marker, 1)[1].split(".dir/", 1)[0]
        if target in flags or target not in folders.values():
            continue
        flags[target] = kept_flags(arguments, entry["directory"])

    os.makedirs(out, exist_ok=True)
    for library, arguments in flags.items():
        with open(os.path.join(out, library + ".rsp"), "w", encoding="utf-8") as rsp:
            rsp.write(" ".join(shlex.quote(a) for a in arguments) + "\n")

    headers, sources, missing = [], [], set()
    texts = {}  # path relative to src/ -> text
    for directory, subdirectories, files in os.walk(src):
        subdirectories.sort()
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(directory, name)
            relative = os.path.relpath(path, src)
            with open(path, encoding="utf-8", errors="replace") as file:
                texts[relative] = file.read()
            library = owner(relative, folders)
            if library is None or library not in flags:
                missing.add(os.path.relpath(directory, root))
                continue
            (headers if name.endswith(".h") else sources).append((os.path.join(out, library + ".rsp"), relative))
    for directory in sorted(missing):
        # A folder no configured library compiles: nothing says which flags its files need.
        print(f"syntax-jobs: {directory}/ belongs to no library of the build", file=sys.stderr)
    if missing:
        sys.exit(1)

    if mode != "headers":
        annotated = Reach(texts)
        for rsp, path in sources:
            if annotated.reaches(path):
                print(f"source\t{rsp}\tsrc/{path}")
    for rsp, path in headers if mode != "thread-safety" else []:
        print(f"header\t{rsp}\tsrc/{path}")


class Reach:
    """Whether a file of the tree includes, directly or not, one that spells an annotation."""

    def __init__(self, texts):
        self.texts = texts
        self.known = {path: True for path, text in texts.items() if ANNOTATION.search(text)}

    def reaches(self, path, visiting=None):
        if path in self.known:
            return self.known[path]
        visiting = visiting if visiting is not None else set()
        visiting.add(path)
        found = False
        for included in QUOTED_INCLUDE.findall(self.texts.get(path, "")):
            for candidate in (included, os.path.normpath(os.path.join(os.path.dirname(path), included))):
                if candidate in self.texts and candidate not in visiting and self.reaches(candidate, visiting):
                    found = True
                    break
            if found:
                break
        # A "no" met on the way is kept only for the file asked about: one on the way was not
        # looked into past the files already being visited.
        if found or not visiting - {path}:
            self.known[path] = found
        return found


def kept_flags(arguments, directory):
    kept = []
    i = 1  # the compiler itself is left out
    while i < len(arguments):
        argument = arguments[i]
        if argument in ("-I", "-isystem", "-iquote", "-idirafter", "-D", "-U") and i + 1 < len(arguments):
            value = arguments[i + 1]
            if argument not in ("-D", "-U"):
                value = os.path.normpath(os.path.join(directory, value))
            kept += [argument, value]
            i += 2
            continue
        if argument.startswith(("-D", "-U")) or argument.startswith("-std="):
            kept.append(argument)
        elif argument.startswith("-I"):
            kept.append("-I" + os.path.normpath(os.path.join(directory, argument[2:])))
        i += 1
    return kept


def owner(path, folders):
    best = None
    for folder, library in folders.items():
        if path.startswith(folder + os.sep) and (best is None or len(folder) > len(best[0])):
            best = (folder, library)
    return best[1] if best else None


if __name__ == "__main__":
    main()
