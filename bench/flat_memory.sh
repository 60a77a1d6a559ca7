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
  LABEL_WIDTH=9 convert_and_report "$n" "$src"
  rm -f "$src" "$work/out.vcf"
done
