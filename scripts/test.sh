#!/usr/bin/env bash
# Builds Vornida and runs every test: the unit and end-to-end tests, the same
# tests under AddressSanitizer + UndefinedBehaviorSanitizer, and a short run of
# every libFuzzer target. Run from anywhere on a fresh Debian 12 machine.
#   FUZZ_SECONDS=N   seconds per fuzz target (default 30)
#   SKIP_DEPS=1      do not run the package installer
#   SKIP_ASAN=1 / SKIP_FUZZ=1   leave out those stages (for quick local runs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

[ "${SKIP_DEPS:-0}" = 1 ] || bash scripts/install-deps.sh

stage() { printf '\n==== %s ====\n' "$*"; }

stage "build (gcc, warnings as errors)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNIDA_WERROR=ON >/dev/null
cmake --build build -j "$jobs"

stage "tests"
ctest --test-dir build -j "$jobs" --output-on-failure --timeout 900

stage "user interface page (node, Chromium)"
BUILD="$root/build" bash scripts/test-movie.sh

if [ "${SKIP_ASAN:-0}" != 1 ]; then
  stage "build with AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORNIDA_SANITIZE=ON -DVORNIDA_WERROR=ON \
        -DVORNIDA_BENCH=OFF >/dev/null
  cmake --build build-asan -j "$jobs"
  stage "tests under sanitizers"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 1800 -LE nosanitize
fi

if [ "${SKIP_FUZZ:-0}" != 1 ]; then
  stage "fuzz targets"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
fi

stage "all tests passed"
