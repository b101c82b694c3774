#!/usr/bin/env bash
# A shipped program is the same bytes from any fresh build folder: builds
# the targets of one preset in two scratch folders at paths of different
# lengths and compares what they made byte for byte.
#   tests/release/rebuild_twice.sh PRESET TARGET...
set -euo pipefail
cd "$(dirname "$0")/../.."
preset=$1
shift
scratch=$PWD/build/rebuild-$preset
rm -rf "$scratch"
for dir in "$scratch/one" "$scratch/a-second-folder-at-a-longer-path"; do
  cmake --preset "$preset" -B "$dir" --no-warn-unused-cli -DVANTREL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$dir" -j2 --target "$@" >/dev/null
done
for target in "$@"; do
  program=$target
  [ -f "$scratch/one/$program" ] || program=$target.exe
  cmp "$scratch/one/$program" "$scratch/a-second-folder-at-a-longer-path/$program"
  echo "$program: the same $(stat -c %s "$scratch/one/$program") bytes from both folders"
done
rm -rf "$scratch"
