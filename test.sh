#!/usr/bin/env bash
# Installs what is missing, then builds and runs the tests in three builds:
#   release  the optimised build that is shipped: every test (the Qt ones on
#            the offscreen platform), then the Debian package made from it and
#            checked (validators, lintian, programs run from the unpacked .deb);
#   asan     AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer
#            over the Qt-free targets;
#   tsan     ThreadSanitizer (clang) over the regex and platform tests.
# Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/ensure-deps.sh
ensure_packages

export QT_QPA_PLATFORM=offscreen
status=0

# run_suite PRESET [COMMAND...]: configures, builds and tests the preset; the
# tests run under COMMAND when one is given.
run_suite() {
  local preset=$1
  shift
  echo "=== $preset build ==="
  if ! cmake --preset "$preset" || ! cmake --build --preset "$preset" -j 2; then
    echo "build failed: $preset" >&2
    status=1
    return
  fi
  "$@" ctest --preset "$preset" -j 2 || status=1
}

# clang 14's ThreadSanitizer cannot place its shadow memory when the kernel
# randomises more than 28 bits of mmap addresses, as newer kernels do by
# default; its tests then run without address randomisation.
tsan_runner=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ]; then
  tsan_runner=(setarch "$(uname -m)" -R)
fi

run_suite release
run_suite asan
run_suite tsan "${tsan_runner[@]}"
exit $status
