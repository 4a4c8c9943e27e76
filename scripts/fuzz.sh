#!/usr/bin/env bash
# Fuzzes the CSV reader and writer with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer: scripts/fuzz.sh [seconds] (default 60). New inputs and any
# crashing input go to fuzz-out/; the seed corpus in tests/fuzz/corpus is only read.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
mkdir -p build/fuzz fuzz-out/csv_reader
# The CSV code and the part of the engine it builds frames with.
clang++ -std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined \
  -fno-sanitize-recover=undefined -Wall -Wextra -Wpedantic -Isrc \
  tests/fuzz/csv_reader_fuzz.cpp src/csv/*.cpp src/repr/*.cpp \
  src/engine/frame.cpp src/engine/huge_pages.cpp src/engine/quoted.cpp src/engine/unicode_tables.cpp \
  -o build/fuzz/csv_reader_fuzz
build/fuzz/csv_reader_fuzz fuzz-out/csv_reader tests/fuzz/corpus/csv_reader \
  -max_total_time="$seconds" -max_len=4096 -artifact_prefix=fuzz-out/ -print_final_stats=1 2>&1 |
  grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)|ERROR|broken|SUMMARY" || true
# libFuzzer exits non-zero on a finding; the grep above hides that, so look for artifacts.
if compgen -G "fuzz-out/crash-*" >/dev/null || compgen -G "fuzz-out/leak-*" >/dev/null ||
   compgen -G "fuzz-out/timeout-*" >/dev/null || compgen -G "fuzz-out/oom-*" >/dev/null; then
  echo "fuzzing found a failing input in fuzz-out/" >&2
  exit 1
fi
