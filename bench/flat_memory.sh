#!/usr/bin/env bash
# Peak memory against the size of the source: converts generated
# feature-phone exports of growing size (default about 10 MB, 100 MB and
# 1 GB) and prints wall seconds, peak RSS and RSS relative to the input. A
# large source is read in pieces, so the peak should stay about the same
# whatever the size. Needs about three times the largest size in free space
# under TMPDIR.
#
#   bench/flat_memory.sh [CARDS...]      (default: 19000 190000 1900000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(19000 190000 1900000)
source "$root/bench/common.sh"
bench_setup time python3

printf '%-9s %14s %9s %9s %10s  %s\n' cards bytes seconds "RSS MiB" "RSS/input" result
for n in "${sizes[@]}"; do
  src=$work/export-$n.vcf
  python3 "$root/bench/gen_vcards.py" "$n" "$src"
  bytes=$(stat -c %s "$src")
  /usr/bin/time -f "%e %M" -o "$work/time" "$converter" --force "$src" "$work/out.vcf" \
    >"$work/stdout" 2>"$work/stderr" || true
  read -r t r <"$work/time"
  result=$(head -n 2 "$work/stdout" | tr "\n" " ")
  awk -v n="$n" -v b="$bytes" -v t="$t" -v r="$r" -v res="$result" \
    'BEGIN { printf "%-9d %14d %9.2f %9.1f %10.3f  %s\n", n, b, t, r / 1024, r * 1024 / b, res }'
  rm -f "$src" "$work/out.vcf"
done
