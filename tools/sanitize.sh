#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in its own
# folder and runs every test there, leak checks on. Too slow for every CI run; run it
# by hand after touching memory, parsing or arithmetic on what the server sends.
#
#   tools/sanitize.sh [--bench] [build folder, default build-asan]
#
# --bench also runs each benchmark once, for the set-up paths the tests do not take.
# Reports go to files, printed at the end, so that those of the processes the tests
# start (the Sentry, the booking client) are not lost; any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

bench=0
if [ "${1:-}" = "--bench" ]; then
  bench=1
  shift
fi
build=${1:-build-asan}
jobs=${JOBS:-4}
sanitizers="-fsanitize=address,undefined"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer -fno-sanitize-recover=all" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers" >/dev/null
cmake --build "$build" -j "$jobs"

logs="$(pwd)/$build/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:log_path=$logs/asan"
export UBSAN_OPTIONS="print_stacktrace=1:log_path=$logs/ubsan"

status=0
(cd "$build" && ctest -j "$jobs" --output-on-failure) || status=1
if [ "$bench" = 1 ]; then
  for b in "$build"/bench/*_bench; do
    [ -x "$b" ] && { "$b" --benchmark_min_time=0.001 >/dev/null || status=1; }
  done
fi
if compgen -G "$logs/*" >/dev/null; then
  echo "Sanitizer reports:"
  cat "$logs"/*
  status=1
fi
exit $status
