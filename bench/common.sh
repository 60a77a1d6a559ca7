# Sourced by the bench scripts: installs the measuring tools they name (as
# root), builds vcard-convert in Release when it is missing, and sets
# $converter and a scratch folder $work removed on exit.
# Needs $root (the project folder) set by the caller.

bench_setup() {
  local need=() cmd
  for cmd in "$@"; do
    case $cmd in
      time) [ -x /usr/bin/time ] || need+=(time) ;;
      *) command -v "$cmd" >/dev/null || need+=("$cmd") ;;
    esac
  done
  if [ ${#need[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "Run as root: apt-get install -y ${need[*]}" >&2
      exit 1
    fi
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
  fi

  local build=${BUILD_DIR:-$root/build/release}
  if [ ! -x "$build/cli/vcard-convert" ]; then
    (cd "$root" && cmake --preset release >/dev/null &&
      cmake --build --preset release --target vcard-convert -j 2 >/dev/null)
  fi
  converter=$build/cli/vcard-convert
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
}
