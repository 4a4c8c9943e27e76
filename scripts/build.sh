#!/usr/bin/env bash
# Builds the module for one interpreter into build/<name>: scripts/build.sh PYTHON NAME [cmake options]
set -euo pipefail
cd "$(dirname "$0")/.."
python=$1 name=$2
shift 2
cmake -S . -B "build/$name" -G Ninja -DPython3_EXECUTABLE="$python" "$@" >/dev/null
cmake --build "build/$name"
