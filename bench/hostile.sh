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

printf '%-16s %14s %9s %9s %10s  %s\n' shape bytes seconds "RSS MiB" "RSS/input" result
for src in "$work"/*.vcf; do
  convert_and_report "$(basename "$src" .vcf)" "$src"
done
