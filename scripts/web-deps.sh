#!/usr/bin/env bash
# Builds the libraries of the WebAssembly engine from Debian's source packages:
# ICU (its tools natively first, then the library for wasm with only the data
# the engine uses) and the photo libraries (zlib, libpng, libjpeg-turbo's
# TurboJPEG, libtiff, giflib), all installed into one prefix that the `web`
# CMake preset reads.
#
#   scripts/web-deps.sh [DIR]     DIR defaults to build/web-deps
#
# DIR/src holds the unpacked source packages (fetched once), DIR/prefix the
# result (the preset reads build/web-deps/prefix; for another DIR set
# WEB_DEPS_PREFIX), DIR/stamps one stamp per step. A step runs again only when
# its recipe (its shell function below and the helpers that calls) changed or
# one of its inputs is newer than its stamp, so a second run takes seconds.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps=$(mkdir -p "${1:-$root/build/web-deps}" && cd "${1:-$root/build/web-deps}" && pwd)
src=$deps/src
prefix=$deps/prefix
stamps=$deps/stamps
data_list=$root/web/icu-data.txt
jobs=${WEB_DEPS_JOBS:-2}
mkdir -p "$src" "$prefix/include" "$prefix/lib/pkgconfig" "$stamps"

# shellcheck source=scripts/ensure-deps.sh
source "$root/scripts/ensure-deps.sh"
ensure_packages "${WEB_PACKAGES[@]}"

# Debian's Emscripten runs its JavaScript optimiser with Debian's node modules
# (acorn); without them the link of an optimised module fails.
export NODE_PATH=${NODE_PATH:+$NODE_PATH:}/usr/share/nodejs

# The source packages, by Debian source name.
SOURCE_PACKAGES=(icu zlib libpng1.6 libjpeg-turbo tiff giflib)

# source_dir PACKAGE: the unpacked tree of a fetched source package.
source_dir() {
  local dir
  dir=$(find "$src" -mindepth 1 -maxdepth 1 -type d -name "$1-[0-9]*" | sort | tail -n 1)
  if [ -z "$dir" ]; then
    echo "source package $1 is not unpacked in $src" >&2
    return 1
  fi
  echo "$dir"
}

# logged LOG COMMAND...: runs the command with its output in LOG (relative to
# the current folder); on failure shows the end of LOG and stops.
logged() {
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    [[ $log == /* ]] || log=$PWD/$log
    echo "failed: $* (end of $log follows)" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
}

# A deb-src entry is all apt-get source lacks on a stock Debian system; as root
# we add Debian's own and say so, otherwise we say what to add.
ensure_deb_src() {
  local answer
  if answer=$(apt-get source --print-uris "$1" 2>&1); then
    return 0
  fi
  if ! grep -q "deb-src" <<<"$answer"; then
    echo "$answer" >&2
    exit 1
  fi
  local list=/etc/apt/sources.list.d/debian-src.sources
  if [ "$(id -u)" -ne 0 ]; then
    echo "apt-get source $1 fails: add a deb-src entry for Debian bookworm main (for example $list) and run apt-get update" >&2
    exit 1
  fi
  echo "No deb-src entry for apt: adding $list (Debian bookworm main) and running apt-get update"
  cat >"$list" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get update
}

fetch_sources() {
  local pkg
  for pkg in "${SOURCE_PACKAGES[@]}"; do
    if source_dir "$pkg" >/dev/null 2>&1; then
      continue
    fi
    ensure_deb_src "$pkg"
    echo "Fetching the Debian source package $pkg"
    (cd "$src" && apt-get source -q "$pkg")
  done
}

# run_step NAME INPUT...: runs the function build_NAME unless its stamp is newer
# than every input and holds the hash of the recipe (that function and the
# helpers it calls); prints the time it took.
run_step() {
  local name=$1
  shift
  local stamp=$stamps/$name
  local recipe
  local helpers=() helper
  for helper in source_dir logged cc_library cmake_library; do
    if declare -f "build_$name" | grep -qw "$helper"; then helpers+=("$helper"); fi
  done
  recipe=$(declare -f "build_$name" "${helpers[@]}" | sha256sum | cut -d' ' -f1)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$recipe" ] &&
    [ -z "$(find "$@" -newer "$stamp" -print -quit)" ]; then
    echo "== $name: up to date"
    return 0
  fi
  echo "== $name"
  rm -f "$stamp"
  local start=$SECONDS
  "build_$name"
  echo "$recipe" >"$stamp"
  echo "== $name: $((SECONDS - start)) s"
}

# The native ICU gives the cross build its tools (icupkg, pkgdata, the data
# compilers); it is never installed.
build_icu_native() {
  local dir=$deps/icu-native
  rm -rf "$dir"
  mkdir -p "$dir"
  cd "$dir"
  logged configure.log "$(source_dir icu)/source/configure" --disable-tests --disable-samples \
    --disable-extras --disable-layoutex
  logged make.log make -j"$jobs"
  cd "$root"
}

# The data package of the wasm build: the items listed in web/icu-data.txt,
# taken out of the source package's prebuilt data (31 MB whole). An item on the
# list that the package lacks is a typing error and stops the build.
build_icu_data() {
  local icupkg=$deps/icu-native/bin/icupkg
  local full
  full=$(find "$(source_dir icu)/source/data/in" -name 'icudt*l.dat' | head -n 1)
  local dir=$deps/icu-data
  rm -rf "$dir"
  mkdir -p "$dir"
  LD_LIBRARY_PATH=$deps/icu-native/lib "$icupkg" -l "$full" | sort >"$dir/all.txt"
  sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$data_list" | sort -u >"$dir/keep.txt"
  local missing
  missing=$(comm -13 "$dir/all.txt" "$dir/keep.txt")
  if [ -n "$missing" ]; then
    echo "web/icu-data.txt names items the ICU data does not hold:" >&2
    echo "$missing" >&2
    return 1
  fi
  comm -23 "$dir/all.txt" "$dir/keep.txt" >"$dir/remove.txt"
  LD_LIBRARY_PATH=$deps/icu-native/lib "$icupkg" -r "$dir/remove.txt" "$full" "$dir/$(basename "$full")"
  echo "ICU data: $(wc -l <"$dir/keep.txt") of $(wc -l <"$dir/all.txt") items, $(du -k "$full" | cut -f1) KiB -> $(du -k "$dir/$(basename "$full")" | cut -f1) KiB"
}

# ICU for wasm: static libraries with the trimmed data linked in as C (pkgdata
# -w: Emscripten's assembler does not take the GNU assembly pkgdata writes
# otherwise). ICU's config.sub does not know wasm32-unknown-emscripten, hence
# the generic host triple. The build reads a tree of links to the source whose
# prebuilt data is the trimmed package instead, so the native build keeps the
# whole.
build_icu_wasm() {
  local tree=$deps/icu-wasm-src
  local dir=$deps/icu-wasm
  rm -rf "$tree" "$dir"
  cp -as "$(source_dir icu)" "$tree"
  local dat
  dat=$(basename "$(find "$tree/source/data/in" -name 'icudt*l.dat' | head -n 1)")
  rm "$tree/source/data/in/$dat"
  cp "$deps/icu-data/$dat" "$tree/source/data/in/$dat"
  mkdir -p "$dir"
  cd "$dir"
  CFLAGS=-O2 CXXFLAGS=-O2 logged configure.log emconfigure "$tree/source/configure" \
    --host=wasm32-unknown-linux-gnu --with-cross-build="$deps/icu-native" --prefix="$prefix" \
    --enable-static --disable-shared --disable-tools --disable-tests --disable-samples \
    --disable-extras --disable-layoutex --with-data-packaging=static
  PKGDATA_OPTS="-O $dir/data/icupkg.inc -w" logged make.log emmake make -j"$jobs"
  logged install.log emmake make install
  cd "$root"
}

# cc_library NAME SOURCE_DIR FLAGS FILE...: compiles the files with emcc into
# prefix/lib/libNAME.a; for the small libraries whose own builds know nothing
# of a wasm host.
cc_library() {
  local name=$1 dir=$2 flags=$3
  shift 3
  local obj=$deps/$name-obj
  rm -rf "$obj"
  mkdir -p "$obj"
  local file
  for file in "$@"; do
    # shellcheck disable=SC2086  # the flags are words
    emcc -O2 $flags -c "$dir/$file" -o "$obj/${file%.c}.o"
  done
  rm -f "$prefix/lib/lib$name.a"
  emar rcs "$prefix/lib/lib$name.a" "$obj"/*.o
}

build_zlib() {
  local dir
  dir=$(source_dir zlib)
  cc_library z "$dir" "-DHAVE_UNISTD_H -DHAVE_STDARG_H" adler32.c compress.c crc32.c deflate.c \
    gzclose.c gzlib.c gzread.c gzwrite.c infback.c inffast.c inflate.c inftrees.c trees.c \
    uncompr.c zutil.c
  cp "$dir/zlib.h" "$dir/zconf.h" "$prefix/include/"
  local version
  version=$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' "$dir/zlib.h")
  # libtiff's pkg-config file requires zlib's.
  cat >"$prefix/lib/pkgconfig/zlib.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: zlib
Description: zlib compression library
Version: $version
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
EOF
}

# libpng with the configuration its own builds start from; no SIMD code exists
# for wasm.
build_libpng() {
  local dir
  dir=$(source_dir libpng1.6)
  cp "$dir/scripts/pnglibconf.h.prebuilt" "$prefix/include/pnglibconf.h"
  cc_library png16 "$dir" "-I$prefix/include -DPNG_ARM_NEON_OPT=0" png.c pngerror.c pngget.c \
    pngmem.c pngpread.c pngread.c pngrio.c pngrtran.c pngrutil.c pngset.c pngtrans.c pngwio.c \
    pngwrite.c pngwtran.c pngwutil.c
  ln -sf libpng16.a "$prefix/lib/libpng.a"
  cp "$dir/png.h" "$dir/pngconf.h" "$prefix/include/"
}

build_giflib() {
  local dir
  dir=$(source_dir giflib)
  cc_library gif "$dir" "" dgif_lib.c egif_lib.c gifalloc.c gif_err.c gif_font.c gif_hash.c \
    openbsd-reallocarray.c quantize.c
  cp "$dir/gif_lib.h" "$prefix/include/"
}

# cmake_library NAME SOURCE_DIR OPTION...: a CMake project built for wasm and
# installed into the prefix. Its configure checks that run a program (the
# sizes of types) run it in node: plain node, as emcmake's option for threads
# is one node 20 refuses, and with the wasm inlined, as node fetch()es a
# separate .wasm file by a path it cannot take for a URL (the policy hands the
# link flags to those checks in projects that predate it).
cmake_library() {
  local name=$1 dir=$2
  shift 2
  local build=$deps/$name-build
  rm -rf "$build"
  logged "$deps/$name-configure.log" emcmake cmake -S "$dir" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node)" -DCMAKE_EXE_LINKER_FLAGS=-sSINGLE_FILE=1 \
    -DCMAKE_POLICY_DEFAULT_CMP0056=NEW "$@"
  logged "$deps/$name-build.log" cmake --build "$build" -j "$jobs"
  logged "$deps/$name-install.log" cmake --install "$build"
}

# The TurboJPEG API as a static library; SIMD code exists for x86 and ARM only.
build_libjpeg_turbo() {
  cmake_library libjpeg-turbo "$(source_dir libjpeg-turbo)" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_SIMD=0 -DWITH_TURBOJPEG=1 -DWITH_JAVA=0 -DWITH_12BIT=0
}

# libtiff with Deflate only: the photos the engine meets are uncompressed,
# PackBits, LZW or Deflate; JPEG-in-TIFF and the rarer codecs stay out.
build_libtiff() {
  cmake_library libtiff "$(source_dir tiff)" -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF \
    -Dtiff-docs=OFF -Dtiff-deprecated=OFF -Dcxx=OFF -Dzlib=ON -Dlibdeflate=OFF -Djpeg=OFF \
    -Dold-jpeg=OFF -Djpeg12=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF \
    -Dpixarlog=OFF
}

total=$SECONDS
start=$SECONDS
fetch_sources
echo "== sources: $((SECONDS - start)) s"
run_step icu_native "$(source_dir icu)/debian/changelog"
run_step icu_data "$stamps/icu_native" "$data_list"
run_step icu_wasm "$stamps/icu_data"
run_step zlib "$(source_dir zlib)/debian/changelog"
run_step libpng "$(source_dir libpng1.6)/debian/changelog" "$stamps/zlib"
run_step giflib "$(source_dir giflib)/debian/changelog"
run_step libjpeg_turbo "$(source_dir libjpeg-turbo)/debian/changelog"
run_step libtiff "$(source_dir tiff)/debian/changelog" "$stamps/zlib"
echo "web-deps ready in $prefix ($((SECONDS - total)) s)"
