#!/usr/bin/env bash
# Installs what is needed, builds and runs every test:
#  1. a short smoke run of every fuzz target (clang, libFuzzer);
#  2. the whole tree (tests, benchmarks, tools, the Qt layer) built with clang,
#     so that neither compiler can break a build unseen;
#  3. the concurrency tests (label 'threads') built with ThreadSanitizer;
#  4. the whole tree built with AddressSanitizer and UndefinedBehaviorSanitizer
#     (g++), and the whole suite run there.
# A failing test is not run again: a test that fails once is a bug to be found.
# KEVO_WERROR=ON (as CI sets it) makes compiler warnings errors in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
jobs=$(nproc)
common=(-G Ninja -DKEVO_WERROR="${KEVO_WERROR:-OFF}")

CC=clang CXX=clang++ cmake -S . -B build/fuzz "${common[@]}" -DKEVO_FUZZ=ON -DKEVO_GUI=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/fuzz -j "$jobs"
./fuzz/run.sh build/fuzz "${FUZZ_SECONDS:-5}"

CC=clang CXX=clang++ cmake -S . -B build/clang "${common[@]}" -DCMAKE_BUILD_TYPE=Debug -DKEVO_GC_CHECK=ON
cmake --build build/clang -j "$jobs"
python3 tools/reach/check.py build/clang

cmake -S . -B build/tsan "${common[@]}" -DKEVO_TSAN=ON -DKEVO_GUI=OFF -DKEVO_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan -L threads -j "$jobs" --output-on-failure

cmake -S . -B build/asan "${common[@]}" -DKEVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan -j "$jobs" --output-on-failure
