#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer on) and runs each for a fixed number
# of inputs from its seed corpus. VISTREL_FUZZ_RUNS sets the number (default 20000).
# VISTREL_JOBS=N caps the build parallelism and the number of targets run at once (default: all cores).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
runs="${VISTREL_FUZZ_RUNS:-20000}"
jobs="${VISTREL_JOBS:-$(nproc)}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVISTREL_FUZZ=ON -DVISTREL_SANITIZE=ON >/dev/null
cmake --build "$build" --target fuzzers -j "$jobs"

shopt -s nullglob
targets=("$build"/fuzz/*_fuzzer)
[ ${#targets[@]} -gt 0 ] || exit 0
failed=0
# Inputs that fail are kept here (not in the source tree) to be added to the seed corpus once fixed.
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
# Runs one target, its report to REPORT and its exit status to REPORT.status. Usage: run_one TARGET REPORT
run_one() {
  local target="$1" report="$2"
  local name work
  name="$(basename "$target")"
  work="$(mktemp -d)"
  [ -d "$root/tests/fuzz/corpus/$name" ] && cp -r "$root/tests/fuzz/corpus/$name/." "$work/"
  if "$target" -runs="$runs" -max_len=65536 -seed=1 -rss_limit_mb=2048 -timeout=10 \
      -artifact_prefix="$artifacts/$name-" "$work" >"$work.log" 2>&1; then
    echo "fuzz: $name passed $runs runs" >"$report"
    echo 0 >"$report.status"
  else
    { echo "fuzz: $name FAILED"; tail -n 40 "$work.log"; } >"$report"
    echo 1 >"$report.status"
  fi
  rm -rf "$work" "$work.log"
}
# Targets are independent: up to $jobs run side by side, their reports printed in target order.
reports="$(mktemp -d)"
trap 'rm -rf "$reports"' EXIT
running=0
for i in "${!targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_one "${targets[$i]}" "$reports/$i" &
  running=$((running + 1))
done
wait
for i in "${!targets[@]}"; do
  cat "$reports/$i"
  [ "$(cat "$reports/$i.status" 2>/dev/null)" = 0 ] || failed=1
done
exit $failed
