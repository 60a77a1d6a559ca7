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

# Converts one file with vcard-convert and prints "LABEL BYTES SECONDS RSS_MIB
# RSS/INPUT RESULT" in columns of width LABEL_WIDTH (default 16); RESULT is
# the first two lines the converter printed.
convert_and_report() {
  local label=$1 src=$2 bytes t r result
  bytes=$(stat -c %s "$src")
  /usr/bin/time -f "%e %M" -o "$work/time" "$converter" --force "$src" "$work/out.vcf" \
    >"$work/stdout" 2>"$work/stderr" || true
  read -r t r <"$work/time"
  result=$(head -n 2 "$work/stdout" | tr "\n" " ")
  awk -v n="$label" -v w="${LABEL_WIDTH:-16}" -v b="$bytes" -v t="$t" -v r="$r" -v res="$result" \
    'BEGIN { printf "%-*s %14d %9.2f %9.1f %10.3f  %s\n", w, n, b, t, r / 1024, r * 1024 / b, res }'
}
