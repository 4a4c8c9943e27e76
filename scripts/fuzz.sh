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
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -fsanitize-coverage-ignorelist=tests/fuzz/coverage_ignorelist.txt
       -Wall -Wextra -Wpedantic -Isrc)

# Each target is built from the code it drives: the CSV target from the CSV code and the part
# of the engine it builds frames with, so that its coverage figures mean that code.
sources() {
  case $1 in
    csv_reader) echo src/csv/*.cpp src/number_text/*.cpp src/engine/frame.cpp src/engine/huge_pages.cpp src/engine/name_index.cpp \
                     src/engine/quoted.cpp src/engine/unicode_tables.cpp ;;
    operations) echo src/engine/*.cpp src/csv/*.cpp src/number_text/*.cpp ;;
  esac
}

# Both targets are built, and then run, side by side: one core each.
build() {
  # shellcheck disable=SC2046
  clang++ "${flags[@]}" "tests/fuzz/$1_fuzz.cpp" $(sources "$1") -o "build/fuzz/$1_fuzz"
}
run() {
  mkdir -p "fuzz-out/$1"
  # -timeout: an input that takes this long is a finding (a hang or a quadratic step).
  "build/fuzz/$1_fuzz" "fuzz-out/$1" "tests/fuzz/corpus/$1" -max_total_time="$seconds" -max_len=4096 -timeout=20 \
    -artifact_prefix="fuzz-out/$1-" -print_final_stats=1 >"build/fuzz/$1.log" 2>&1
}
# Runs `$1 target` for every target at once; names the ones that failed in `failed`.
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

mkdir -p build/fuzz
failed=()
each_target build || exit 1
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
