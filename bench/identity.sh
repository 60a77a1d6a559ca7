#!/usr/bin/env bash
# Byte identity of two builds of vcard-convert over everything a speed change
# must leave alone: the peer exports, generated exports of 1k, 10k and 100k
# cards with and without photos, the hostile shapes at 1 MiB, and the saved
# fuzz corpus of the whole conversion; each for both targets (iPhone and
# iCloud.com). Prints one summary line per set and target; any difference is
# listed by file.
#
#   bench/identity.sh OLD_VCARD_CONVERT NEW_VCARD_CONVERT
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
old=$1 new=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/generated" "$work/hostile"
for n in 1000 10000 100000; do
  python3 "$root/bench/gen_vcards.py" "$n" "$work/generated/gen-$n.vcf"
  python3 "$root/bench/gen_vcards.py" --photos "$n" "$work/generated/photos-$n.vcf"
done
python3 "$root/bench/hostile_shapes.py" "$work/hostile" 1048576

peer=()
[ -d "$root/../shared/peer-data" ] &&
  while IFS= read -r f; do peer+=("$f"); done < <(find "$root/../shared/peer-data" -name '*.vcf' | sort)
corpus=("$root"/fuzz/corpus/convert/*)

status=0
for target in iphone icloud; do
  for set in peer generated hostile corpus; do
    case $set in
      peer) files=("${peer[@]}") ;;
      generated) files=("$work"/generated/*.vcf) ;;
      hostile) files=("$work"/hostile/*.vcf) ;;
      corpus) files=("${corpus[@]}") ;;
    esac
    [ ${#files[@]} -eq 0 ] && continue
    result=$(CONVERT_ARGS="--target=$target" "$root/scripts/compare-outputs.sh" "$old" "$new" \
      "${files[@]}") || status=1
    grep -v '^identical' <<<"$result" || true
    echo "$target $set: $(tail -n 1 <<<"$result")"
    grep -q 'different: 0$' <<<"$result" || status=1
  done
done
exit $status
