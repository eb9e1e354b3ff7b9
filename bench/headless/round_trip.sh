#!/usr/bin/env bash
# Calls per second through the real vornida-headless binary: a script of N
# requests (default 100000) played from a file, output to /dev/null. The
# baseline is the same number of comment lines, which the console reads and
# skips: the difference is the cost of the round trips themselves.
#   bench/headless/round_trip.sh [BUILD_DIR] [N]
set -euo pipefail
build=${1:-build}
n=${2:-100000}
binary=$build/src/tools/vornida-headless/vornida-headless
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"/{tmp,data,config}
export TMPDIR=$work/tmp XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config

request='<invoke name="ReadIni" returntype="xml"><arguments><string>volume</string></arguments></invoke>'
awk -v n="$n" -v r="$request" 'BEGIN { for (i = 0; i < n; i++) print r }' > "$work/requests.script"
awk -v n="$n" -v r="# $request" 'BEGIN { for (i = 0; i < n; i++) print r }' > "$work/comments.script"

seconds() { local start end; start=$(date +%s.%N); "$binary" "$1" > /dev/null; end=$(date +%s.%N); echo "$end - $start" | bc -l; }
t_requests=$(seconds "$work/requests.script")
t_comments=$(seconds "$work/comments.script")
printf 'requests: %d in %.3f s = %.0f calls/s (script read alone: %.3f s; round trips alone: %.0f calls/s)\n' \
  "$n" "$t_requests" "$(echo "$n / $t_requests" | bc -l)" "$t_comments" \
  "$(echo "$n / ($t_requests - $t_comments)" | bc -l)"
