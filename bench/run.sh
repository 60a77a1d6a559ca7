#!/usr/bin/env bash
# Converts generated feature-phone exports of 1k, 10k and 100k cards with
# vcard-convert and, on the same files, with nkf (transcoding to UTF-16LE with
# a mark and folding half-width katakana) and iconv (transcoding only), and
# prints one table: median wall time over RUNS runs, MB/s, cards/s, peak RSS
# and the ratio of vcard-convert's time to each of the others.
#
#   bench/run.sh [SIZES...]      (default: 1000 10000 100000; RUNS=5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-5}
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1000 10000 100000)

need=()
command -v nkf >/dev/null || need+=(nkf)
[ -x /usr/bin/time ] || need+=(time)
command -v python3 >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}"
  else
    echo "Run as root: apt-get install -y ${need[*]}" >&2
    exit 1
  fi
fi

build=${BUILD_DIR:-$root/build/release}
if [ ! -x "$build/cli/vcard-convert" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release --target vcard-convert -j 2 >/dev/null
fi
converter=$build/cli/vcard-convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a command RUNS times; prints "median_seconds peak_rss_kib".
measure() {
  local times=() rss=0 t r i
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1 || true
    read -r t r <"$work/time"
    times+=("$t")
    ((r > rss)) && rss=$r
  done
  printf '%s\n' "${times[@]}" | sort -g | awk -v n="$runs" -v rss="$rss" \
    '{a[NR]=$1} END {m = (n % 2) ? a[(n+1)/2] : (a[n/2] + a[n/2+1]) / 2; printf "%.3f %d\n", m, rss}'
}

printf '%-8s %-14s %9s %9s %10s %9s %10s %9s\n' cards tool seconds MB/s cards/s "RSS MiB" "RSS/input" ratio
for n in "${sizes[@]}"; do
  src=$work/src-$n.vcf
  python3 "$root/bench/gen_vcards.py" "$n" "$src"
  bytes=$(stat -c %s "$src")
  read -r vt vr < <(measure "$converter" --force "$src" "$work/out.vcf")
  read -r nt nr < <(measure sh -c "nkf --ic=CP932 --oc=UTF-16LE-BOM -X '$src' > '$work/nkf.out'")
  read -r it ir < <(measure sh -c "iconv -f CP932 -t UTF-16LE '$src' > '$work/iconv.out'")
  for row in "vcard-convert $vt $vr" "nkf $nt $nr" "iconv $it $ir"; do
    set -- $row
    awk -v n="$n" -v tool="$1" -v t="$2" -v r="$3" -v b="$bytes" -v vt="$vt" 'BEGIN {
      tt = (t > 0) ? t : 0.001;
      ratio = (tool == "vcard-convert") ? "-" : sprintf("%.2f", vt / tt);
      printf "%-8d %-14s %9.3f %9.1f %10.0f %9.1f %10.2f %9s\n",
        n, tool, t, b / 1e6 / tt, n / tt, r / 1024, r * 1024 / b, ratio }'
  done
done
echo "ratio = vcard-convert seconds / tool seconds; input sizes in MB = 10^6 bytes"
