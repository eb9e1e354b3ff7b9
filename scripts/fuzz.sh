#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 30).
# A crash, a leak, a time-out or running out of memory fails the run; the
# reproducer is left in build-fuzz/findings/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-30}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORNIDA_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)"

mkdir -p build-fuzz/findings
shopt -s nullglob
targets=(build-fuzz/fuzzers/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no targets"
  exit 0
fi
failed=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  subject=${name#fuzz_}
  work=build-fuzz/corpus/$subject
  mkdir -p "$work"
  seeds=()
  [ -d "fuzz/corpus/$subject" ] && seeds=("fuzz/corpus/$subject")
  echo "fuzz: $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
        -print_final_stats=0 -artifact_prefix=build-fuzz/findings/"$name"- "$work" "${seeds[@]}" \
        >build-fuzz/"$name".log 2>&1; then
    echo "fuzz: $name FAILED"; tail -n 40 build-fuzz/"$name".log
    failed=1
  else
    grep -E '^#[0-9]+.*DONE' build-fuzz/"$name".log | tail -n 1 || true
  fi
done
exit $failed
