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
       -fno-sanitize-recover=undefined -Wall -Wextra -Wpedantic -Isrc)

# Each target is built from the code it drives: the CSV target from the CSV code and the part
# of the engine it builds frames with, so that its coverage figures mean that code.
sources() {
  case $1 in
    csv_reader) echo src/csv/*.cpp src/repr/*.cpp src/engine/frame.cpp src/engine/huge_pages.cpp src/engine/name_index.cpp \
                     src/engine/quoted.cpp src/engine/unicode_tables.cpp ;;
    operations) echo src/engine/*.cpp src/csv/*.cpp src/repr/*.cpp ;;
  esac
}

mkdir -p build/fuzz
for target in "${targets[@]}"; do
  # shellcheck disable=SC2046
  clang++ "${flags[@]}" "tests/fuzz/${target}_fuzz.cpp" $(sources "$target") -o "build/fuzz/${target}_fuzz"
done

status=0
for target in "${targets[@]}"; do
  echo "== Fuzzing $target for $seconds s"
  mkdir -p "fuzz-out/$target"
  log="build/fuzz/$target.log"
  # -timeout: an input that takes this long is a finding (a hang or a quadratic step).
  if ! "build/fuzz/${target}_fuzz" "fuzz-out/$target" "tests/fuzz/corpus/$target" -max_total_time="$seconds" \
       -max_len=4096 -timeout=20 -artifact_prefix="fuzz-out/$target-" -print_final_stats=1 >"$log" 2>&1; then
    status=1
    grep -E -A40 "^(broken|==[0-9]+==ERROR)|SUMMARY|deadly signal|ALARM" "$log" | head -80 >&2 || true
    echo "fuzzing $target found a failing input in fuzz-out/ (log: $log)" >&2
  fi
  grep -E "DONE|stat::number_of_executed_units|stat::peak_rss_mb" "$log" || true
done
exit $status
