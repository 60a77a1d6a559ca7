#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: once in a
# normal build, once under AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer (Qt-free targets). Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/ensure-deps.sh
ensure_packages

export QT_QPA_PLATFORM=offscreen
status=0

run_suite() {
  local preset=$1
  echo "=== $preset build ==="
  if ! cmake --preset "$preset" || ! cmake --build --preset "$preset" -j 2; then
    echo "build failed: $preset" >&2
    status=1
    return
  fi
  ctest --preset "$preset" -j 2 || status=1
}

run_suite asan
run_suite dev
exit $status
