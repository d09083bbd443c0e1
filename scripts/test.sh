#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
#   1. the unit and end-to-end tests (build/);
#   2. the fuzz targets for a bounded time (build-fuzz/, clang).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

echo "== build and run the tests"
bash scripts/build.sh -DMORVANE_TESTS=ON
(cd build && ctest --output-on-failure -j"$jobs" -LE fuzz)

if [ -d tests/fuzz ]; then
  echo "== fuzz targets, bounded"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DMORVANE_FUZZ=ON -DMORVANE_WERROR=ON
  cmake --build build-fuzz -j"$jobs" --target fuzz_targets
  (cd build-fuzz && ctest --output-on-failure -L fuzz)
fi
echo "== all tests passed"
