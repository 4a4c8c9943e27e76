#!/usr/bin/env bash
# Builds everything and runs every test: the engine tests (also under AddressSanitizer and
# UndefinedBehaviorSanitizer), a short fuzzing run of the CSV reader and writer, the Unicode
# table check, and the Python suite under each interpreter.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
source scripts/pythons.sh

echo "== Unicode tables are current"
python3 tools/gen_unicode_tables.py | diff -q - src/engine/unicode_tables.cpp

echo "== Engine tests"
bash scripts/build.sh python3 engine -DQUORVEL_MODULE=OFF -DQUORVEL_TESTS=ON
ctest --test-dir build/engine --output-on-failure -j2 | tail -3

echo "== Engine tests under AddressSanitizer and UndefinedBehaviorSanitizer"
bash scripts/build.sh python3 engine-sanitized -DQUORVEL_MODULE=OFF -DQUORVEL_TESTS=ON -DQUORVEL_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug
ctest --test-dir build/engine-sanitized --output-on-failure -j2 | tail -3

echo "== Fuzzing the CSV reader and writer for 30 seconds"
bash scripts/fuzz.sh 30

for python in "${PYTHONS[@]}"; do
  version=$("$python" -c 'import sys; print(f"py{sys.version_info[0]}{sys.version_info[1]}")')
  echo "== Python tests under $version"
  bash scripts/build.sh "$python" "$version"
  PYTHONPATH="build/$version" "$python" -m pytest -q -p no:cacheprovider tests/python
done
