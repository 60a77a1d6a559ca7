#!/usr/bin/env bash
# Converts every file of the peer exports (../shared/peer-data) and two bench
# generator files with two builds of vcard-convert and lists the files whose
# result (exit status, messages, output bytes) differs; the time stamp and
# process id of process-log lines are left out of the comparison. Used to show that a
# change leaves the output of untouched cards byte-identical. CONVERT_ARGS
# adds options to both runs (--target=icloud, say); every file a run writes
# (the numbered iCloud.com files too) is compared.
#
#   [CONVERT_ARGS=...] scripts/compare-outputs.sh OLD_VCARD_CONVERT NEW_VCARD_CONVERT [FILES...]
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

# Runs one build on one file in a fresh folder and keeps what it printed,
# its status and every file it wrote in the folder named by out. The run
# always sees the same paths, so messages that name them compare equal.
read -r -a extra <<<"${CONVERT_ARGS:-}"
run_one() {
  local tool=$1 src=$2 out=$3
  local status=0
  rm -rf "$work/run" "$out" && mkdir "$work/run"
  cp "$src" "$work/run/in.vcf"
  "$tool" --force "${extra[@]}" "$work/run/in.vcf" "$work/run/out.vcf" \
    >"$work/run/stdout" 2>"$work/run/stderr" || status=$?
  echo "$status" >"$work/run/status"
  # The process log stamps each line with the time and the process id.
  sed -i -E 's/^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:.]+ [^ ]+\[[0-9]+\] //' "$work/run/stderr"
  mv "$work/run" "$out"
}

same=0 differ=0
for f in "${files[@]}"; do
  run_one "$old" "$f" "$work/a"
  run_one "$new" "$f" "$work/b"
  if diff -r -q "$work/a" "$work/b" >/dev/null; then
    same=$((same + 1))
  else
    differ=$((differ + 1))
    echo "differs: ${f#$root/../shared/} (status $(cat "$work/a/status") -> $(cat "$work/b/status"))"
  fi
done
rm -rf "$work/a" "$work/b"
echo "identical: $same, different: $differ"
