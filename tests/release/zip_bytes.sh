#!/usr/bin/env bash
# The Windows zip carries setup.exe and mkmedium.exe exactly as built, and
# the same build packs to the same bytes again after its programs are made
# anew (new file times, as a rebuild of the same commit gives them).
#   tests/release/zip_bytes.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d "$build/zip-bytes-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
programs=(setup.exe mkmedium.exe)
pack() {
  cpack -G ZIP -B "$1" --config "$build/CPackConfig.cmake" >/dev/null
  ls "$1"/*.zip
}
first=$(pack "$scratch/one")
# An hour newer (older ones the pack's own build step would link again),
# then their own times back.
for program in "${programs[@]}"; do
  cp -p "$build/$program" "$scratch/$program.time"
  touch -d "@$(($(stat -c %Y "$build/$program") + 3600))" "$build/$program"
done
second=$(pack "$scratch/two")
for program in "${programs[@]}"; do touch -r "$scratch/$program.time" "$build/$program"; done
cmp "$first" "$second"
mkdir "$scratch/unpacked"
(cd "$scratch/unpacked" && cmake -E tar xf "$first")
for program in "${programs[@]}"; do
  cmp "$build/$program" "$(find "$scratch/unpacked" -name "$program")"
  echo "$program: the build's $(stat -c %s "$build/$program") bytes in $(basename "$first")"
done
find "$scratch/unpacked" -name LICENSE | grep -q . || { echo "no LICENSE in the zip" >&2; exit 1; }
echo "$(basename "$first"): the same bytes when packed again"
