#!/usr/bin/env bash
# Converts every file of the peer exports (../shared/peer-data) and two bench
# generator files with two builds of vcard-convert and lists the files whose
# result (exit status, messages, output bytes) differs. Used to show that a
# change leaves the output of untouched cards byte-identical.
#
#   scripts/compare-outputs.sh OLD_VCARD_CONVERT NEW_VCARD_CONVERT [FILES...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
old=$1 new=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  peer=$root/../shared/peer-data
  [ -d "$peer" ] && while IFS= read -r f; do files+=("$f"); done < <(find "$peer" -name '*.vcf' | sort)
  for n in 1000 20000; do
    python3 "$root/bench/gen_vcards.py" "$n" "$work/gen-$n.vcf"
    files+=("$work/gen-$n.vcf")
  done
fi

# Prints status, standard output and standard error, then the output bytes.
run_one() {
  local tool=$1 src=$2 out=$3
  local status=0
  cp "$src" "$work/in.vcf"
  "$tool" --force "$work/in.vcf" "$out.vcf" >"$out.stdout" 2>"$out.stderr" || status=$?
  echo "$status" >"$out.status"
}

same=0 differ=0
for f in "${files[@]}"; do
  run_one "$old" "$f" "$work/a"
  run_one "$new" "$f" "$work/b"
  if cmp -s "$work/a.status" "$work/b.status" && cmp -s "$work/a.stdout" "$work/b.stdout" &&
    cmp -s "$work/a.stderr" "$work/b.stderr" &&
    { [ ! -e "$work/a.vcf" ] && [ ! -e "$work/b.vcf" ] || cmp -s "$work/a.vcf" "$work/b.vcf"; }; then
    same=$((same + 1))
  else
    differ=$((differ + 1))
    echo "differs: ${f#$root/../shared/} (status $(cat "$work/a.status") -> $(cat "$work/b.status"))"
  fi
  rm -f "$work"/a.* "$work"/b.*
done
echo "identical: $same, different: $differ"
