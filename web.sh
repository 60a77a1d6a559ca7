#!/usr/bin/env bash
# Installs what is missing, builds the web page (the engine as WebAssembly,
# with ICU and the photo libraries cross-built from Debian's source packages,
# cached in build/web-deps) and serves it on this machine only:
# http://127.0.0.1:8000/ (PORT=... to change). The self-contained page, one
# HTML file that works opened from disk, is written beside the site.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-deps.sh
ensure_packages "${WEB_PACKAGES[@]}"

scripts/web-deps.sh build/web-deps
cmake --preset web >/dev/null
cmake --build --preset web -j 2

site=build/web/web/site
echo "静的なページ: $site/"
echo "1ファイルのページ: $(ls build/web/web/*.html 2>/dev/null | head -n 1)"
port=${PORT:-8000}
echo "http://127.0.0.1:$port/ で開いています（Ctrl+C で終了）"
exec /usr/bin/python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site"
