#!/usr/bin/env bash
# Builds (release) and starts the main application. Arguments go to the application.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTREL_TESTS=OFF -DVISTREL_BENCH=OFF >/dev/null
cmake --build "$build" --target vistrel
exec "$build/bin/vistrel" "$@"
