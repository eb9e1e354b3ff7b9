#!/usr/bin/env bash
# Calls per second through the real vornida-headless binary: scripts of N
# requests (default 100000) played from a file, output to /dev/null, for a
# command that only touches the bridge ("GetVerText") and one that reads
# Setting.ini ("ReadIni"). The baseline is a script of N comment lines, which
# the console reads and skips: the difference is the cost of the round trips.
#   bench/headless/round_trip.sh [BUILD_DIR] [N]
set -euo pipefail
build=${1:-build}
n=${2:-100000}
binary=$build/src/tools/vornida-headless/vornida-headless
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work"/{tmp,data,config}
export TMPDIR=$work/tmp XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config

repeat() { awk -v n="$n" -v r="$1" 'BEGIN { for (i = 0; i < n; i++) print r }'; }
seconds() {
  local start end
  start=$(date +%s.%N)
  "$binary" "$1" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

repeat '# a comment line of about the same length as the requests, skipped unread' > "$work/comments.script"
t_comments=$(seconds "$work/comments.script")
printf 'baseline: %d comment lines in %.3f s\n' "$n" "$t_comments"

for command in GetVerText ReadIni; do
  args=''
  [ "$command" = ReadIni ] && args='<string>volume</string>'
  repeat "<invoke name=\"$command\" returntype=\"xml\"><arguments>$args</arguments></invoke>" > "$work/$command.script"
  t=$(seconds "$work/$command.script")
  printf '%-10s %d requests in %.3f s = %.0f calls/s (%.0f calls/s without the script reading)\n' \
    "$command" "$n" "$t" "$(echo "$n / $t" | bc -l)" "$(echo "$n / ($t - $t_comments)" | bc -l)"
done
