#!/usr/bin/env bash
# Installs what is missing, builds in Release and starts the desktop program.
# Arguments are passed to the program.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-deps.sh
ensure_packages

cmake --preset release >/dev/null
cmake --build --preset programs -j 2

if [ -x build/release/app/vcard-converter ]; then
  exec build/release/app/vcard-converter "$@"
fi
echo "The desktop program is not built yet; here is the command-line converter." >&2
exec build/release/cli/vcard-convert --help
