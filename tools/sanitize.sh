#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in its own
# folder and runs every test there, leak checks on. Too slow for every CI run; run it
# by hand after touching memory, parsing or arithmetic on what the server sends.
#
#   tools/sanitize.sh [--bench] [build folder, default build-asan]
#
# --bench also runs each benchmark once, for the set-up paths the tests do not take.
#
# Every report of every process counts, also of the processes the tests start with
# their output thrown away (the Sentry, the booking client): each sanitizer writes to
# a file of its own per process, and the tests' own output is searched as well. Any
# report fails the run and is printed at the end, and so is any program of the build
# still running after the tests.
#
# The build uses clang when it is installed: with GCC's runtime, UBSan reports of a
# process that also has ASan go to stderr only, whatever log_path says.
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
started=$(date +%s)

compilers=()
if command -v clang >/dev/null && command -v clang++ >/dev/null; then
  compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "${compilers[@]}" \
  -DCMAKE_CXX_FLAGS="$sanitizers -fno-omit-frame-pointer -fno-sanitize-recover=all" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers" >/dev/null
cmake --build "$build" -j "$jobs"

root="$(pwd)/$build"
logs="$root/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
export QT_QPA_PLATFORM=offscreen
# log_path gets the process id appended: one file per process and sanitizer.
export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:log_path=$logs/asan"
export UBSAN_OPTIONS="print_stacktrace=1:log_path=$logs/ubsan"
export LSAN_OPTIONS="log_path=$logs/lsan"

status=0
testlog="$root/sanitize-tests.log"
(cd "$build" && ctest -j "$jobs" --output-on-failure --output-log "$testlog") || status=1
if [ "$bench" = 1 ]; then
  for b in "$build"/bench/*_bench; do
    [ -x "$b" ] && { "$b" --benchmark_min_time=0.001 >>"$testlog" 2>&1 || status=1; }
  done
fi

pattern='ERROR: AddressSanitizer|ERROR: LeakSanitizer|runtime error:|SUMMARY: (Address|Leak|UndefinedBehavior)Sanitizer'
if compgen -G "$logs/*" >/dev/null; then
  echo "Sanitizer reports:"
  for f in "$logs"/*; do
    echo "=== $(basename "$f")"
    cat "$f"
  done
  status=1
fi
# A report written to stderr, where a runtime ignores log_path.
if grep -Eq "$pattern" "$testlog" 2>/dev/null; then
  echo "Sanitizer reports in the tests' output:"
  grep -En -A12 "$pattern" "$testlog"
  status=1
fi

# A program of this build still running now outlived the test that started it.
left=()
for p in /proc/[0-9]*; do
  exe=$(readlink "$p/exe" 2>/dev/null || true)
  case "$exe" in
    "$root"/*) left+=("${p#/proc/} $exe") ;;
  esac
done
if [ "${#left[@]}" -gt 0 ]; then
  echo "Processes left running by the tests:"
  printf '  %s\n' "${left[@]}"
  status=1
fi

echo "sanitize.sh: $(( ($(date +%s) - started) / 60 )) min, $([ $status = 0 ] && echo clean || echo FAILED)"
exit $status
