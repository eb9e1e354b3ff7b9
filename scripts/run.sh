#!/usr/bin/env bash
# Builds Vornida and runs the main job: the desktop program when a display is
# available, otherwise a demo collage made by the command-line maker.
#   SKIP_DEPS=1   do not run the package installer
#   NO_DESKTOP=1  make the demo collage even when a display is available
# Arguments are passed to the desktop program (projects or pictures to open).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
[ "${SKIP_DEPS:-0}" = 1 ] || bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
echo "run: built everything in build/"

desktop="$root/build/src/tools/vornida/vornida"

# A display the desktop program can open: a Wayland socket, or an X server
# that answers.
display_available() {
  if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    local socket="$WAYLAND_DISPLAY"
    [ "${socket#/}" != "$socket" ] || socket="${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/$socket"
    [ -S "$socket" ] && return 0
  fi
  [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1
}

if [ "${NO_DESKTOP:-0}" != 1 ] && [ -x "$desktop" ] && display_available; then
  echo "run: starting the desktop program $desktop"
  exec "$desktop" "$@"
fi

# No display: a collage of the sample photos, made by the command-line maker.
result="$root/build/vornida-demo.png"
build/src/tools/vornida-collage/vornida-collage --demo -o "$result"
echo "run: the demo collage is $result"
if [ -x "$desktop" ]; then
  echo "run: no display here; in a desktop session start the desktop program with"
  echo "     $desktop   (or bash scripts/run.sh there)"
else
  echo "run: this build has no desktop program (src/tools/vornida); the command-line maker is"
  echo "     build/src/tools/vornida-collage/vornida-collage (see --help)"
fi
