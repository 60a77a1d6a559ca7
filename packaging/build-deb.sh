#!/usr/bin/env bash
# Makes the Debian package of the optimised build:
#   packaging/build-deb.sh [FOLDER]
# leaves vcard-converter_<version>_<arch>.deb in FOLDER (default: the current
# folder). Installs the Debian packages the build needs first, as run.sh does.
# With VCARD_WEB_PAGE=path/to/the-page.html the package also holds the web page.
set -euo pipefail
out=$(realpath "${1:-.}")
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
ensure_packages

# VCARD_WEB_PAGE names the self-contained web page of the web build, to
# include it; unset, the package has none.
cmake --preset release -DVCARD_WEB_PAGE="${VCARD_WEB_PAGE:-}" >/dev/null
cmake --build --preset release -j 2
cpack --preset deb
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb=build/release/deb/vcard-converter_${version}_$(dpkg --print-architecture).deb
cp "$deb" "$out/"
echo "$out/${deb##*/}"
