#!/usr/bin/env bash
# Installs what building, testing and benchmarking need on a fresh machine; quick when all
# is there. Run once per machine, before scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh

apt_packages=(g++ libgtest-dev libbenchmark-dev unicode-data clang libclang-rt-14-dev)
missing=()
for package in "${apt_packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

pip_install() { "$1" -m pip install -q --disable-pip-version-check "${@:2}"; }
command -v cmake >/dev/null && command -v ninja >/dev/null || pip_install python3 cmake ninja
for python in "${PYTHONS[@]}"; do
  # numpy: a test passes numpy's own bool_ as a flag.
  "$python" -c "import pytest, hypothesis, numpy" 2>/dev/null || pip_install "$python" pytest hypothesis numpy
done
