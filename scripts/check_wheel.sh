#!/usr/bin/env bash
# Builds the abi3 wheel with each interpreter, installs it into a fresh virtual environment,
# and runs the Python suite against the installed module (not the build tree); then checks
# the type stub against the module with mypy's stubtest.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/pythons.sh
source scripts/test_packages.sh

for python in "${PYTHONS[@]}"; do
  version=$("$python" -c 'import sys; print(f"py{sys.version_info[0]}{sys.version_info[1]}")')
  echo "== Wheel for $version"
  wheels="build/wheels/$version" venv="build/venv-$version"
  rm -rf "$wheels" "$venv"
  "$python" -m pip wheel -q --no-deps --disable-pip-version-check -w "$wheels" .
  wheel=$(ls "$wheels"/quorvel-*-abi3-*.whl)
  echo "$wheel"
  "$python" -m venv "$venv"
  "$venv/bin/python" -m pip install -q --disable-pip-version-check "$wheel" mypy "${test_packages[@]}" \
    2> >(grep -v "is ignored: it is neither a file nor a directory" >&2)
  # Run from elsewhere so that nothing of the source tree can be imported instead.
  (cd /tmp && "$OLDPWD/$venv/bin/python" -c \
    'import quorvel, sys; assert quorvel.__file__.startswith(sys.prefix), quorvel.__file__; print(quorvel.__file__)')
  "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python
  "$venv/bin/python" -m mypy.stubtest quorvel
  "$venv/bin/python" -m mypy --strict examples/
done
