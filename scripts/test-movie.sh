#!/usr/bin/env bash
# Tests of the user interface page (movie/): node unit tests, and the page in
# Debian's Chromium through Playwright over the real vornida-headless.
#   BUILD=DIR   the build folder holding vornida-headless (default build/)
# Screenshots of every main state land in $BUILD/movie-screenshots.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
cd "$root/tests/movie"

# The npm packages exactly as the lock file pins them.
npm ci --no-audit --no-fund --loglevel=error

export VORNIDA_BUILD=$build
export VORNIDA_SCREENSHOTS=$build/movie-screenshots
node --test --test-concurrency=1 unit/ page/
