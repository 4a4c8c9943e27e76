#!/usr/bin/env bash
# Installs what building the module needs on a fresh Debian machine: a C++ compiler and the
# {fmt} headers (compiled in: the module depends on nothing more); pip brings CMake and Ninja
# when they are missing. Quick when all is there.
set -euo pipefail
cd "$(dirname "$0")/.."

# Installs the Debian packages named that are missing.
apt_install() {
  local missing=() package
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
}

apt_install g++ libfmt-dev
