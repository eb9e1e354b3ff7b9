#!/usr/bin/env bash
# Builds Vornida and runs the main job.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ "${SKIP_DEPS:-0}" = 1 ] || bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
echo "run: built everything in build/"
# The main job: a collage of the sample photos, made by the command-line maker.
result="$root/build/vornida-demo.png"
build/src/tools/vornida-collage/vornida-collage --demo -o "$result"
echo "run: the demo collage is $result"
