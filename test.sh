#!/usr/bin/env bash
# Installs what is missing, then builds and runs the tests in four builds:
#   release  the optimised build that is shipped: every test (the Qt ones on
#            the offscreen platform), then the Debian package made from it and
#            checked (validators, lintian, programs run from the unpacked .deb);
#   web      the engine as WebAssembly (ICU and the photo libraries cross-built
#            from Debian's source packages, cached in build/web-deps) and its
#            page, tested in Chromium, WebKit and Firefox against the release
#            build;
#   asan     AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer
#            over the Qt-free targets;
#   tsan     ThreadSanitizer (clang) over the regex, platform and stream tests.
# Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/ensure-deps.sh
ensure_packages "${WEB_PACKAGES[@]}"

export QT_QPA_PLATFORM=offscreen
status=0

# build_suite PRESET [CONFIGURE-ARGUMENT...]: configures and builds the preset.
build_suite() {
  local preset=$1
  shift
  echo "=== $preset build ==="
  if ! cmake --preset "$preset" "$@" || ! cmake --build --preset "$preset" -j 2; then
    echo "build failed: $preset" >&2
    status=1
    return 1
  fi
}

# run_suite PRESET [COMMAND...]: configures, builds and tests the preset; the
# tests run under COMMAND when one is given.
run_suite() {
  local preset=$1
  shift
  build_suite "$preset" || return
  "$@" ctest --preset "$preset" -j 2 || status=1
}

# clang 14's ThreadSanitizer cannot place its shadow memory when the kernel
# randomises more than 28 bits of mmap addresses, as newer kernels do by
# default; its tests then run without address randomisation.
tsan_runner=()
if [ "$(cat /proc/sys/vm/mmap_rnd_bits 2>/dev/null || echo 0)" -gt 28 ]; then
  tsan_runner=(setarch "$(uname -m)" -R)
fi

# The web page is built first so that the release build's Debian package
# holds it; its browser tests compare it with the release build's programs.
web_page=
if scripts/web-deps.sh build/web-deps && build_suite web; then
  web_page=$PWD/build/web/web/pc-iphone-vcard-converter.html
else
  echo "web build failed" >&2
  status=1
fi
if build_suite release -DVCARD_WEB_PAGE="$web_page"; then
  ctest --preset release -j 2 || status=1
fi
if [ -n "$web_page" ]; then
  echo "=== web tests ==="
  ctest --preset web || status=1
fi
run_suite asan
run_suite tsan "${tsan_runner[@]}"
exit $status
