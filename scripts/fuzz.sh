#!/usr/bin/env bash
# Fuzzes with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer, each target for
# the given time: scripts/fuzz.sh [seconds per target] (default 60; give hours' worth for a
# long run). The targets: csv_reader (any bytes through the CSV reader and writer) and
# operations (chains of table operations on frames decoded from the input). New inputs go to
# fuzz-out/<target>/ and a failing input to fuzz-out/<target>-crash-* (or -timeout-, -oom-,
# -leak-); the seed corpora in tests/fuzz/corpus/<target>/ are only read.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=(csv_reader operations)

# The targets are built by CMake (QUORVEL_FUZZ) with clang, whose libFuzzer they need.
build_targets() {
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_MODULE=OFF \
    -DQUORVEL_FUZZ=ON >/dev/null
  cmake --build build/fuzz
}
run() {
  mkdir -p "fuzz-out/$1"
  # -timeout: an input that takes this long is a finding (a hang or a quadratic step).
  "build/fuzz/$1_fuzz" "fuzz-out/$1" "tests/fuzz/corpus/$1" -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -artifact_prefix="fuzz-out/$1-" -print_final_stats=1 >"build/fuzz/$1.log" 2>&1
}
# Runs `$1 target` for every target at once, one core each; names the ones that failed in
# `failed`.
each_target() {
  local -A pid
  local target status=0
  for target in "${targets[@]}"; do
    "$1" "$target" &
    pid[$target]=$!
  done
  for target in "${targets[@]}"; do
    wait "${pid[$target]}" || { status=1; failed+=("$target"); }
  done
  return $status
}

failed=()
build_targets
each_target run || true
for target in "${targets[@]}"; do
  log="build/fuzz/$target.log"
  echo "$target: $(grep -E "DONE" "$log" || echo "no DONE line")"
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$log" || true
done
for target in "${failed[@]}"; do
  log="build/fuzz/$target.log"
  grep -E -A40 "^(broken|==[0-9]+==ERROR)|SUMMARY|deadly signal|ALARM" "$log" | head -80 >&2 || true
  echo "fuzzing $target found a failing input in fuzz-out/ (log: $log)" >&2
done
((${#failed[@]} == 0))
