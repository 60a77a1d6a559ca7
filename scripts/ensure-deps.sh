# Sourced by run.sh and test.sh: installs the Debian packages the build needs,
# or, without root, prints the exact command and stops.

# The build, the tests and the fonts of the windows; the toolkit's SVG
# support (icons) and Japanese translations; the JSON library of the command
# line; TurboJPEG, libpng, libtiff and giflib for the photos of the iCloud.com
# form; clang with its sanitizer runtimes for the ThreadSanitizer run; the
# icon renderer, the package tools (dpkg-shlibdeps comes with dpkg-dev and
# needs file) and the validators of the package checks. Unicode's
# EmojiSources.txt (unicode-data) and the Python that turns it into the
# engine's carrier pictogram table at build time.
VCARD_PACKAGES=(cmake ninja-build g++ pkg-config libicu-dev qt6-base-dev libgtest-dev libgmock-dev
  libbenchmark-dev fonts-noto-cjk libqt6svg6 qt6-translations-l10n nlohmann-json3-dev
  libturbojpeg0-dev libpng-dev libtiff-dev libgif-dev unicode-data python3 clang libclang-rt-dev
  librsvg2-bin dpkg-dev file desktop-file-utils appstream lintian)

# The web build on top: Debian's Emscripten (clang, the wasm linker, node),
# apt-get source's unpacker for the libraries scripts/web-deps.sh builds from
# Debian's source packages, and the three browser engines the page's tests
# run in: Chromium with its WebDriver, WebKit's WebDriver (it starts the GTK
# port's MiniBrowser) with a virtual display for it, and Firefox, driven over
# WebDriver BiDi through a WebSocket; the Python bindings that drive them.
# shellcheck disable=SC2034  # read by the scripts that source this file
WEB_PACKAGES=(emscripten dpkg-dev chromium chromium-driver webkit2gtk-driver xvfb firefox-esr
  python3-selenium python3-websocket)

# ensure_packages [PACKAGE...]: VCARD_PACKAGES and the ones given, such as
# "${WEB_PACKAGES[@]}".
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "${VCARD_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  local line="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Run as root:  $line" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
}
