#!/usr/bin/env bash
# Installs what building, testing and benchmarking need on a fresh Debian machine; quick
# when all is there. Run once per machine, before scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh
source scripts/test_packages.sh
source scripts/setup_build.sh

apt_install libgtest-dev libbenchmark-dev unicode-data clang libclang-rt-14-dev

pip_install() { "$1" -m pip install -q --disable-pip-version-check "${@:2}"; }
command -v cmake >/dev/null && command -v ninja >/dev/null || pip_install python3 cmake ninja
for python in "${PYTHONS[@]}"; do
  "$python" -c "$test_imports" 2>/dev/null || pip_install "$python" "${test_packages[@]}"
done
