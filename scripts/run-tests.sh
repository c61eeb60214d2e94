#!/usr/bin/env bash
# Builds everything and runs all tests, with the services the tests need (an X server with a
# window manager, a private D-Bus session bus, a PulseAudio daemon with a null sink) started in a
# private runtime folder and stopped by PID afterwards. Extra arguments go to ctest (e.g. -L gui).
# A full run (no arguments) runs the tests twice: in the sanitizer build and in the plain optimised
# build, which is also the application's own build, so optimiser-only faults show up too.
# VISTREL_SANITIZE=0 builds and runs only the plain build.
# VISTREL_JOBS=N caps the build and test parallelism (default: all cores).
# Before building, the library boundaries are checked (scripts/check-layers.sh) and, in a full run,
# the sources: formatted (check-format.sh), headers that compile alone and clang's thread-safety
# analysis (check-syntax.sh). A failing check fails the run; the tests still run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bash "$root/scripts/setup.sh"

sanitize="${VISTREL_SANITIZE:-1}"
plain="$root/build/test-plain"
build="$root/build/test"
[ "$sanitize" = "1" ] || build="$plain"
jobs="${VISTREL_JOBS:-$(nproc)}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVISTREL_SANITIZE="$([ "$sanitize" = "1" ] && echo ON || echo OFF)" >/dev/null
# Library boundaries, read from the configured targets before anything is compiled.
layers_ok=1
bash "$root/scripts/check-layers.sh" "$build" || layers_ok=0
# Source checks that need only the configured build's compile commands; each prints its time.
failed_checks=()
run_check() { # NAME COMMAND...
  local name="$1" start=$SECONDS
  shift
  if ! VISTREL_JOBS="$jobs" "$@"; then failed_checks+=("$name"); fi
  echo "$name: $((SECONDS - start)) s"
}
if [ $# -eq 0 ]; then
  run_check check-format bash "$root/scripts/check-format.sh"
  run_check check-syntax bash "$root/scripts/check-syntax.sh" all "$build"
fi
cmake --build "$build" -j "$jobs"

# Services, each stopped by its PID on exit.
runtime="$(mktemp -d /tmp/vistrel-test.XXXXXX)"
chmod 700 "$runtime"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$runtime"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$runtime"
export XDG_CONFIG_HOME="$runtime/config"
export XDG_DATA_HOME="$runtime/data"
export XDG_CACHE_HOME="$runtime/cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"

exec 3>"$runtime/display"
Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset >"$runtime/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$runtime/display" ] && break; sleep 0.05; done
[ -s "$runtime/display" ] || { echo "Xvfb did not start:"; cat "$runtime/xvfb.log"; exit 1; }
export DISPLAY=":$(head -n1 "$runtime/display")"
openbox --sm-disable >"$runtime/openbox.log" 2>&1 &
pids+=($!)

dbus-daemon --session --nofork --nopidfile --address="unix:path=$runtime/bus" >"$runtime/dbus.log" 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"

mkdir -m 700 "$runtime/pa"
XDG_RUNTIME_DIR="$runtime/pa" pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
  --disallow-exit --log-target=file:"$runtime/pulse.log" \
  -L "module-null-sink sink_name=test_sink rate=48000 norewinds=1" \
  -L "module-native-protocol-unix socket=$runtime/pa/native auth-anonymous=1" >/dev/null 2>&1 &
pids+=($!)
export PULSE_SERVER="unix:$runtime/pa/native"
for _ in $(seq 100); do [ -S "$runtime/pa/native" ] && [ -S "$runtime/bus" ] && break; sleep 0.05; done

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

status=0
[ "$layers_ok" = 1 ] || { echo "The library boundaries do not hold (see check-layers above)."; status=1; }
if [ ${#failed_checks[@]} -gt 0 ]; then
  echo "Source checks failed (see above): ${failed_checks[*]}."
  status=1
fi
passed=0
failed=0
# Runs ctest in a build folder and adds its counts to the closing line.
run_ctest() {
  local folder="$1"; shift
  local log="$runtime/ctest-$(basename "$folder").log"
  set +e
  (cd "$folder" && ctest -j "$jobs" --output-on-failure --timeout 300 "$@") 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" = "0" ] || status=1
  set -e
  local summary
  summary="$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1 || true)"
  if [[ "$summary" =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  elif ! grep -q 'No tests were found' "$log"; then
    status=1
  fi
}

run_ctest "$build" "$@"

if [ $# -eq 0 ]; then
  if [ "$build" != "$plain" ]; then
    # The plain optimised build: the application as the run command makes it, and the unit tests
    # once more without sanitizers.
    cmake -S "$root" -B "$plain" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVISTREL_SANITIZE=OFF \
      -DVISTREL_BENCH=OFF >/dev/null
    if cmake --build "$plain" -j "$jobs"; then
      echo "Unit tests in the plain optimised build:"
      run_ctest "$plain" -L unit
    else
      echo "The plain optimised build failed."
      status=1
    fi
  fi
  # Fuzz targets: built with clang's libFuzzer and run for a fixed number of inputs.
  if [ -f "$root/tests/fuzz/CMakeLists.txt" ]; then
    bash "$root/scripts/run-fuzzers.sh" || status=$?
  fi
fi
# The closing line: the test counts of every ctest run above.
echo "tests: $passed passed, $failed failed"
exit $status
