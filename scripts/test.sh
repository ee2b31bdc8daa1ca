#!/usr/bin/env bash
# Installs what is needed, builds and runs every test, in two trees so that
# every file meets both compilers and every sanitizer:
#  1. clang, AddressSanitizer + UndefinedBehaviorSanitizer, everything also
#     instrumented for the fuzzer: the whole tree (the Qt layer, tests, benchmarks,
#     tools, the fuzz targets); a short smoke run of every fuzz target; the whole
#     suite;
#  2. g++, ThreadSanitizer: the whole tree built (while the first tree's suite
#     runs); the check that no program code is reached only from tests
#     (tools/reach); the concurrency tests (label 'threads') run.
# A failing test is not run again: a test that fails once is a bug to be found.
# A test that cannot run here (no root, no X server, a missing tool) is reported
# as skipped with its reason; with KEVO_NO_SKIPS=1 (as CI sets it) a skip fails
# the run. KEVO_WERROR=ON (as CI sets it) makes compiler warnings errors.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps-test.sh
jobs=$(nproc)
common=(-G Ninja -DKEVO_WERROR="${KEVO_WERROR:-OFF}")
status=0

# skips BUILD: lists the tests of the last ctest run in BUILD that skipped, with why;
# answers their count.
skips() {
  local log=$1/Testing/Temporary/LastTest.log
  [ -f "$log" ] || { echo 0; return; }
  awk '/^[0-9]+\/[0-9]+ Test: /{t=$3} /: Skipped$/{getline why; print t": "why}' "$log" |
    sort -u >"$1/skipped.txt"
  sed 's/^/  skipped: /' "$1/skipped.txt" >&2
  wc -l <"$1/skipped.txt"
}
# run_ctest BUILD JOBS ARGS...: ctest, then the skips; remembers a failure, goes on.
skipped=0
run_ctest() {
  local build=$1 parallel=$2
  shift 2
  ctest --test-dir "$build" -j "$parallel" --output-on-failure "$@" || status=1
  local n
  n=$(skips "$build")
  skipped=$((skipped + n))
}

# Line tables are all the sanitizers' reports need; full debug information only
# made every compile and link slower (the tests themselves are compiled
# unoptimised in these builds, see CMakeLists.txt).
CC=clang CXX=clang++ cmake -S . -B build/asan "${common[@]}" -DKEVO_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
  -DCMAKE_C_FLAGS_DEBUG="-O1 -gline-tables-only" -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld
cmake --build build/asan -j "$jobs"
./fuzz/run.sh build/asan "${FUZZ_SECONDS:-5}" || status=1
# The program is also linked here with unused sections dropped: the check that
# no program code is reached only from tests rides on this build.
cmake -S . -B build/tsan "${common[@]}" -DKEVO_TSAN=ON -DKEVO_GC_CHECK=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" -DCMAKE_C_FLAGS_DEBUG="-O0 -g1"
# Most of the suite's time goes to walks that type at a person's pace and wait
# for windows and devices, using a processor a fraction of the time: at least
# four run side by side, however few processors there are, and the second tree
# is built meanwhile on what they leave idle. It yields to them (the lowest
# priority), so a walk's pace is not the build's to set.
# (A job started in the background of a script ignores Ctrl-C: it is stopped
# with the script, whichever way the script ends.)
nice -n 19 ionice -c 2 -n 7 ninja -C build/tsan -j "$jobs" >build/tsan-build.log 2>&1 &
tsan_build=$!
trap 'kill "$tsan_build" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build/asan $((jobs > 4 ? jobs : 4))
built=0
wait "$tsan_build" || built=$?
trap - EXIT INT TERM
cat build/tsan-build.log
if [ "$built" -ne 0 ]; then
  echo "test.sh: the ThreadSanitizer tree did not build" >&2
  exit 1
fi
python3 tools/reach/check.py build/tsan || status=1
TSAN_OPTIONS=halt_on_error=1 run_ctest build/tsan "$jobs" -L threads

echo "test.sh: $skipped skipped (each listed above with its reason)"
if [ "$skipped" -gt 0 ] && [ "${KEVO_NO_SKIPS:-0}" = 1 ]; then
  echo "test.sh: KEVO_NO_SKIPS=1: every test must run here" >&2
  status=1
fi
exit $status
