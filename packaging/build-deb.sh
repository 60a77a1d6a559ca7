#!/usr/bin/env bash
# Makes the Debian package of the optimised build:
#   packaging/build-deb.sh [FOLDER]
# leaves vcard-converter_<version>_<arch>.deb in FOLDER (default: the current
# folder). Installs the Debian packages the build needs first, as run.sh does.
set -euo pipefail
out=$(realpath "${1:-.}")
cd "$(dirname "$0")/.."
source scripts/ensure-deps.sh
ensure_packages

cmake --preset release >/dev/null
cmake --build --preset release -j 2
cpack --preset deb
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb=build/release/deb/vcard-converter_${version}_$(dpkg --print-architecture).deb
cp "$deb" "$out/"
echo "$out/${deb##*/}"
