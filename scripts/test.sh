#!/usr/bin/env bash
# Builds everything and runs every test: the Unicode table check, the engine tests (also under
# AddressSanitizer and UndefinedBehaviorSanitizer), float texts against repr, short fuzzing
# runs, the Python suite under each interpreter and against a sanitized build, and the
# installed wheels. Installs nothing: scripts/setup.sh does that, once per machine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

echo "== Unicode tables are current"
python3 tools/gen_unicode_tables.py | diff -q - src/engine/unicode_tables.cpp

echo "== Engine tests (the engine benchmarks are built too, so that they keep building)"
bash scripts/build.sh python3 engine -DQUORVEL_MODULE=OFF -DQUORVEL_TESTS=ON -DQUORVEL_BENCH=ON
ctest --test-dir build/engine --output-on-failure -j2

echo "== Float texts against Python's repr: every edge class, 3,000,000 random doubles and 3,000,000 short decimals"
python3 tools/check_float_text.py build/engine/float_text_lines --random 3000000 --decimals 3000000

echo "== Engine tests under AddressSanitizer and UndefinedBehaviorSanitizer"
bash scripts/build.sh python3 engine-sanitized -DQUORVEL_MODULE=OFF -DQUORVEL_TESTS=ON -DQUORVEL_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug
ctest --test-dir build/engine-sanitized --output-on-failure -j2

echo "== Fuzzing each target for 60 seconds"
bash scripts/fuzz.sh 60

for python in "${PYTHONS[@]}"; do
  version=$("$python" -c 'import sys; print(f"py{sys.version_info[0]}{sys.version_info[1]}")')
  echo "== Python tests under $version"
  bash scripts/build.sh "$python" "$version"
  PYTHONPATH="build/$version" "$python" -m pytest -q -p no:cacheprovider tests/python
done

echo "== Python tests against a module built with AddressSanitizer and UndefinedBehaviorSanitizer"
bash scripts/build.sh python3 py-sanitized -DQUORVEL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
# The interpreter is not built with the sanitizers, so their runtimes are loaded first; the
# interpreter's own allocator is bypassed so that every object is checked.
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)" \
  ASAN_OPTIONS=detect_leaks=0 PYTHONMALLOC=malloc PYTHONPATH=build/py-sanitized \
  python3 -m pytest -q -p no:cacheprovider tests/python

bash scripts/check_wheel.sh
