#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer on) and runs each for a fixed number
# of inputs from its seed corpus. VISTREL_FUZZ_RUNS sets the number (default 20000).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
runs="${VISTREL_FUZZ_RUNS:-20000}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVISTREL_FUZZ=ON -DVISTREL_SANITIZE=ON >/dev/null
cmake --build "$build" --target fuzzers -j "$(nproc)"

shopt -s nullglob
targets=("$build"/fuzz/*_fuzzer)
[ ${#targets[@]} -gt 0 ] || exit 0
failed=0
# Inputs that fail are kept here (not in the source tree) to be added to the seed corpus once fixed.
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
for target in "${targets[@]}"; do
  name="$(basename "$target")"
  work="$(mktemp -d)"
  [ -d "$root/tests/fuzz/corpus/$name" ] && cp -r "$root/tests/fuzz/corpus/$name/." "$work/"
  if "$target" -runs="$runs" -max_len=65536 -seed=1 -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="$artifacts/$name-" "$work" >"$work.log" 2>&1; then
    echo "fuzz: $name passed $runs runs"
  else
    echo "fuzz: $name FAILED"; tail -n 40 "$work.log"; failed=1
  fi
  rm -rf "$work" "$work.log"
done
exit $failed
