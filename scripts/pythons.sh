# The interpreters the module is built and tested with: python3 (3.11 here) and python3.13.
# Sourced by the other scripts; sets PYTHONS.
find_python313() {
  local candidate
  for candidate in python3.13 "$(pyenv root 2>/dev/null)"/versions/3.13*/bin/python3.13; do
    if "$candidate" -c 'import sys; assert sys.version_info[:2] == (3, 13)' >/dev/null 2>&1; then
      command -v "$candidate"
      return
    fi
  done
  echo "python3.13 not found" >&2
  return 1
}
PYTHONS=("$(command -v python3)" "$(find_python313)")
