#!/usr/bin/env bash
# Checks of the desktop files and the Debian package, run by CTest in the
# release build:
#
#   check-package.sh desktop-entry FILE.desktop
#   check-package.sh metainfo FILE.metainfo.xml DOCS_DIR
#   check-package.sh contents PACKAGE.deb VERSION [PATH...]   (PATHs: further files it must hold)
#   check-package.sh lintian PACKAGE.deb
#   check-package.sh install PACKAGE.deb TEST_DATA_DIR
#
# Exits 0 when the check passes, 1 when it fails and 77 (CTest: skipped) when
# a tool it needs is not installed.
set -euo pipefail

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

need() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "$tool is not installed; check skipped"
      exit 77
    fi
  done
}

# The desktop entry as the freedesktop.org validator sees it; its warnings
# count as failures too, hints are only shown.
check_desktop_entry() {
  need desktop-file-validate
  local report
  report=$(desktop-file-validate "$1" 2>&1) || fail "desktop-file-validate: $report"
  echo "$report"
  if grep -q "warning:" <<<"$report"; then fail "desktop-file-validate warns"; fi
}

# The metainfo as the AppStream validator sees it, and every screenshot it
# names present in docs/ with the size it states.
check_metainfo() {
  need appstreamcli file
  local metainfo=$1 docs=$2
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
  local images
  images=$(grep -o '<image [^>]*>[^<]*</image>' "$metainfo") || fail "no screenshot images"
  local line width height url name size
  while IFS= read -r line; do
    width=$(sed -n 's/.*width="\([0-9]*\)".*/\1/p' <<<"$line")
    height=$(sed -n 's/.*height="\([0-9]*\)".*/\1/p' <<<"$line")
    url=$(sed -n 's/.*>\([^<]*\)<\/image>/\1/p' <<<"$line")
    name=${url##*/}
    [ -f "$docs/$name" ] || fail "screenshot $name is not in $docs"
    size=$(file -b "$docs/$name" | grep -o '[0-9]* x [0-9]*') || fail "$name is no image"
    [ "$size" = "$width x $height" ] || fail "$name is $size, the metainfo says $width x $height"
    echo "screenshot $name: $size"
  done <<<"$images"
}

# The control fields and the file list.
check_contents() {
  need dpkg-deb
  local deb=$1 version=$2
  local extra=("${@:3}")
  [ "$(dpkg-deb -f "$deb" Package)" = vcard-converter ] || fail "package name"
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
  # Computed by dpkg-shlibdeps from the programs: the C++ runtime, ICU, Qt, and
  # TurboJPEG, libpng, libtiff and giflib for the photos of the iCloud.com form.
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  echo "Depends: $depends"
  local library
  for library in libc6 'libstdc\+\+6' 'libicu[0-9]+' libqt6core6 libqt6widgets6 libturbojpeg0 \
    'libpng16-16' libtiff6 libgif7; do
    grep -Eq "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library"
  done

  local listing
  listing=$(dpkg-deb -c "$deb")
  local paths
  paths=$(awk '{print $6}' <<<"$listing")
  local expected=(
    ./usr/bin/vcard-convert
    ./usr/bin/vcard-converter
    ./usr/share/applications/vcard-converter.desktop
    ./usr/share/icons/hicolor/scalable/apps/vcard-converter.svg
    ./usr/share/metainfo/org.example.vcard_converter.metainfo.xml
    ./usr/share/vcard-converter/index.html
    ./usr/share/vcard-converter/terms.html
    ./usr/share/man/man1/vcard-convert.1.gz
    ./usr/share/man/man1/vcard-converter.1.gz
    ./usr/share/man/ja/man1/vcard-convert.1.gz
    ./usr/share/man/ja/man1/vcard-converter.1.gz
    ./usr/share/doc/vcard-converter/copyright
    ./usr/share/doc/vcard-converter/changelog.gz
    "${extra[@]}"
  )
  local size
  for size in 16 22 24 32 48 64 128 256; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/vcard-converter.png")
  done
  local path
  for path in "${expected[@]}"; do
    grep -qxF "$path" <<<"$paths" || fail "$path is not in the package"
  done
  # Nothing outside /usr, and no file anyone may write to.
  if grep -v '^\./$' <<<"$paths" | grep -qv '^\./usr/'; then fail "files outside /usr"; fi
  if awk '{print $1}' <<<"$listing" | grep -q '^........w'; then fail "world-writable entry"; fi
  echo "$(wc -l <<<"$paths") entries, all expected ones present"
}

# Debian's package checker: an error or a warning fails the check.
check_lintian() {
  need lintian
  lintian --fail-on error,warning --display-info "$1" || fail "lintian"
}

# The package unpacked into a scratch root: both programs start from there,
# and the command-line converter converts a feature phone export.
check_install() {
  need dpkg-deb iconv
  local deb=$1 data=$2
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root/image"
  local bin=$root/image/usr/bin

  local usage
  usage=$("$bin/vcard-convert" --help) || fail "vcard-convert --help"
  grep -q '^使い方: vcard-convert \[--force\]' <<<"$usage" || fail "unexpected usage: $usage"

  mkdir "$root/work"
  cp "$data/sjis_road.vcf" "$root/work/電話帳.vcf"
  local log
  log=$(cd "$root/work" && "$bin/vcard-convert" 電話帳.vcf) || fail "conversion: $log"
  [ "$log" = $'変換が完了しました。\n入力データ：1件、　出力データ：1件' ] || fail "log: $log"
  local output=$root/work/PC→iPhone.vcf
  [ "$(head -c 2 "$output" | od -An -tx1 | tr -d ' ')" = fffe ] || fail "no UTF-16LE byte-order mark"
  # Back to UTF-8 without the mark and the CRs, the expected cards.
  iconv -f UTF-16LE -t UTF-8 "$output" | sed '1s/^\xEF\xBB\xBF//; s/\r$//' >"$root/output.txt"
  cmp "$root/output.txt" "$data/sjis_road.ref" || fail "converted cards differ from sjis_road.ref"
  echo "vcard-convert from the package: usage and conversion as expected"

  # The desktop program finds its libraries and runs until it is ended; it
  # never quits by itself.
  if ldd "$bin/vcard-converter" | grep 'not found'; then fail "missing libraries"; fi
  local status=0
  QT_QPA_PLATFORM=offscreen timeout 3 "$bin/vcard-converter" || status=$?
  [ "$status" -eq 124 ] || fail "vcard-converter ended with status $status instead of running"
  echo "vcard-converter from the package: starts and keeps running"
}

case "${1:-}" in
  desktop-entry) check_desktop_entry "$2" ;;
  metainfo) check_metainfo "$2" "$3" ;;
  contents) check_contents "${@:2}" ;;
  lintian) check_lintian "$2" ;;
  install) check_install "$2" "$3" ;;
  *)
    echo "usage: $0 desktop-entry|metainfo|contents|lintian|install ARGS" >&2
    exit 64
    ;;
esac
