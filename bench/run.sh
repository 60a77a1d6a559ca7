#!/usr/bin/env bash
# Converts generated feature-phone exports of 1k, 10k and 100k cards with
# vcard-convert and, on the same files, with nkf (transcoding to UTF-16LE with
# a mark and folding half-width katakana) and iconv (transcoding only), and
# prints one table: median wall time over RUNS runs, MB/s, cards/s, peak RSS
# and the ratio of vcard-convert's time to each of the others; then the
# instructions of one run under callgrind (when valgrind is installed, for
# sizes up to INSTR_MAX_CARDS, default 10000: the stable measure on a shared
# machine) and the malloc calls per card of one run (bench/alloc_count.cpp
# loaded with LD_PRELOAD).
#
#   bench/run.sh [SIZES...]      (default: 1000 10000 100000; RUNS=5)
#
# Each tool's runs here are back to back, so a slow spell of the shared machine
# can fall on one tool only; bench/rounds.sh takes the ratios in alternating
# rounds instead.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${RUNS:-5}
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1000 10000 100000)

source "$root/bench/common.sh"
bench_setup nkf time python3

# Runs a command RUNS times; prints "median_seconds peak_rss_kib".
measure() {
  local times=() rss=0 r i start end
  for ((i = 0; i < runs; i++)); do
    # Wall time from the clock in nanoseconds (time's own %e has only 10 ms
    # resolution); peak RSS from time.
    start=$(date +%s%N)
    /usr/bin/time -f "%M" -o "$work/time" "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    read -r r <"$work/time"
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')")
    ((r > rss)) && rss=$r
  done
  printf '%s\n' "${times[@]}" | sort -g | awk -v n="$runs" -v rss="$rss" \
    '{a[NR]=$1} END {m = (n % 2) ? a[(n+1)/2] : (a[n/2] + a[n/2+1]) / 2; printf "%.4f %d\n", m, rss}'
}

instrMaxCards=${INSTR_MAX_CARDS:-10000}
${CXX:-g++} -O2 -shared -fPIC -o "$work/alloc_count.so" "$root/bench/alloc_count.cpp"

# Millions of instructions of one run of a command whose standard output goes
# to the file given first; "-" without valgrind or past instrMaxCards cards.
instructions() {
  local cards=$1 out=$2
  shift 2
  if ! command -v valgrind >/dev/null || ((cards > instrMaxCards)); then
    echo -
    return
  fi
  valgrind --tool=callgrind --callgrind-out-file="$work/callgrind.out" "$@" >"$out" \
    2>"$work/valgrind.err" || true
  awk '/Collected :/ { printf "%.0f\n", $NF / 1e6; found = 1 } END { if (!found) print "-" }' \
    "$work/valgrind.err"
}

# malloc calls per card of one run of a command whose standard output goes
# to the file given first.
mallocs() {
  local cards=$1 out=$2
  shift 2
  rm -f "$work/allocs"
  ALLOC_COUNT_FILE="$work/allocs" LD_PRELOAD="$work/alloc_count.so" "$@" >"$out" 2>/dev/null || true
  awk -v n="$cards" '{ printf "%.1f\n", $2 / n; found = 1 } END { if (!found) print "-" }' \
    "$work/allocs" 2>/dev/null || echo -
}

printf '%-8s %-14s %9s %9s %10s %9s %10s %9s %9s %11s\n' cards tool seconds MB/s cards/s "RSS MiB" \
  "RSS/input" ratio "M instr" malloc/card
for n in "${sizes[@]}"; do
  src=$work/src-$n.vcf
  python3 "$root/bench/gen_vcards.py" "$n" "$src"
  bytes=$(stat -c %s "$src")
  read -r vt vr < <(measure "$converter" --force "$src" "$work/out.vcf")
  read -r nt nr < <(measure sh -c "nkf --ic=CP932 --oc=UTF-16LE-BOM -X '$src' > '$work/nkf.out'")
  read -r it ir < <(measure sh -c "iconv -f CP932 -t UTF-16LE '$src' > '$work/iconv.out'")
  vi=$(instructions "$n" /dev/null "$converter" --force "$src" "$work/out.vcf")
  ni=$(instructions "$n" "$work/nkf.out" nkf --ic=CP932 --oc=UTF-16LE-BOM -X "$src")
  ii=$(instructions "$n" "$work/iconv.out" iconv -f CP932 -t UTF-16LE "$src")
  va=$(mallocs "$n" /dev/null "$converter" --force "$src" "$work/out.vcf")
  na=$(mallocs "$n" "$work/nkf.out" nkf --ic=CP932 --oc=UTF-16LE-BOM -X "$src")
  ia=$(mallocs "$n" "$work/iconv.out" iconv -f CP932 -t UTF-16LE "$src")
  for row in "vcard-convert $vt $vr $vi $va" "nkf $nt $nr $ni $na" "iconv $it $ir $ii $ia"; do
    set -- $row
    awk -v n="$n" -v tool="$1" -v t="$2" -v r="$3" -v ins="$4" -v al="$5" -v b="$bytes" \
      -v vt="$vt" 'BEGIN {
      tt = (t > 0) ? t : 0.001;
      ratio = (tool == "vcard-convert") ? "-" : sprintf("%.2f", vt / tt);
      printf "%-8d %-14s %9.3f %9.1f %10.0f %9.1f %10.2f %9s %9s %11s\n",
        n, tool, t, b / 1e6 / tt, n / tt, r / 1024, r * 1024 / b, ratio, ins, al }'
  done
done
echo "ratio = vcard-convert seconds / tool seconds; input sizes in MB = 10^6 bytes;"
echo "M instr = millions of instructions of one run (callgrind); malloc/card = malloc calls / cards"
