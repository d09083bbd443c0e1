#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the unit, end-to-end and soak tests (build/);
#   2. the same tests again under AddressSanitizer and
#      UndefinedBehaviorSanitizer (build-asan/): any report fails the run,
#      also one from a program that a test started;
#   3. the fuzz targets for a bounded time (build-fuzz/, clang, under both
#      sanitizers as well);
#   4. the Windows build: cross-compiled with MinGW-w64 (build-win/), its
#      unit and end-to-end tests run under Wine (scripts/test-windows.sh).
# Each stage reports how long it took. MORVANE_SOAK_SCALE=<n> makes the
# soak test n times larger.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

stage() {
  echo "== $1"
  started=$SECONDS
}
stage_done() {
  echo "== $1: $((SECONDS - started)) s"
}

# The first stage builds what a user gets with -DCMAKE_BUILD_TYPE=Release.
stage "build and run the tests"
bash scripts/build.sh -DCMAKE_BUILD_TYPE=Release -DMORVANE_TESTS=ON -DMORVANE_WERROR=ON
(cd build && ctest --output-on-failure -j"$jobs" -LE fuzz)
stage_done "tests"

stage "build and run the tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# Line tables (-g1) are all a sanitizer report needs, and far cheaper to
# build than full debug information.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON \
  -DMORVANE_TESTS=ON -DMORVANE_WERROR=ON -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1
cmake --build build-asan -j"$jobs"
# Every process writes its report into this folder (log_path) rather than
# to a standard error that a test may not look at; a file there fails.
reports="$PWD/build-asan/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
leaks=1
# LeakSanitizer needs ptrace; where the machine forbids it, leak detection
# alone is switched off, and said so.
if ! ASAN_OPTIONS=detect_leaks=1 build-asan/bin/unit_tests --gtest_list_tests \
    >/dev/null 2>"$reports/probe.txt"; then
  if grep -q "LeakSanitizer has encountered a fatal error" "$reports/probe.txt"; then
    leaks=0
    echo "!! LeakSanitizer cannot run on this machine (ptrace is restricted): leak detection is off"
  fi
fi
rm -f "$reports/probe.txt"
status=0
(cd build-asan &&
  ASAN_OPTIONS="halt_on_error=1:detect_leaks=$leaks:log_path=$reports/asan" \
  UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan" \
  ctest --output-on-failure -j"$jobs" -LE fuzz) || status=$?
if [ -n "$(ls -A "$reports")" ]; then
  echo "!! sanitizer reports:"
  cat "$reports"/*
  status=1
fi
[ "$status" -eq 0 ] || exit "$status"
stage_done "sanitizer tests"

if [ -d tests/fuzz ]; then
  stage "fuzz targets, bounded"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DMORVANE_FUZZ=ON -DMORVANE_WERROR=ON
  cmake --build build-fuzz -j"$jobs" --target fuzz_targets
  (cd build-fuzz && ctest --output-on-failure -j"$jobs" -L fuzz)
  stage_done "fuzz targets"
fi
stage "the Windows build, tested under Wine"
bash scripts/test-windows.sh
stage_done "Windows build and tests"

echo "== all tests passed"
