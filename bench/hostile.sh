#!/usr/bin/env bash
# Resource bounds on hostile shapes: converts each shape with vcard-convert
# and prints wall seconds, peak RSS and RSS relative to the input size. The
# shapes are one property (or one file) grown to about SIZE bytes (default
# 1 MiB) by repeating one thing: line length, delimiters, escapes,
# parameters, folds, soft line breaks, empty lines, open cards, half-width
# katakana. A generated feature-phone export of about 100 MB checks the
# memory bound on a large ordinary file.
#
#   bench/hostile.sh [SIZE_BYTES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size=${1:-1048576}
source "$root/bench/common.sh"
bench_setup time python3

python3 "$root/bench/hostile_shapes.py" "$work" "$size"
python3 "$root/bench/gen_vcards.py" 190000 "$work/export-100MB.vcf"

printf '%-16s %12s %9s %9s %10s  %s\n' shape bytes seconds "RSS MiB" "RSS/input" result
for src in "$work"/*.vcf; do
  name=$(basename "$src" .vcf)
  bytes=$(stat -c %s "$src")
  /usr/bin/time -f "%e %M" -o "$work/time" "$converter" --force "$src" "$work/out.vcf" \
    >"$work/stdout" 2>"$work/stderr" || true
  read -r t r <"$work/time"
  result=$(head -n 2 "$work/stdout" | tr "\n" " ")
  awk -v n="$name" -v b="$bytes" -v t="$t" -v r="$r" -v res="$result" \
    'BEGIN { printf "%-16s %12d %9.2f %9.1f %10.2f  %s\n", n, b, t, r / 1024, r * 1024 / b, res }'
done
