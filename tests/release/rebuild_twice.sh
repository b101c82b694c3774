#!/usr/bin/env bash
# A shipped program must be the same bytes from any fresh build folder:
# builds the targets of one preset twice, in scratch folders at paths of
# different lengths, and compares the two programs byte for byte.
#   tests/release/rebuild_twice.sh PRESET TARGET...
set -euo pipefail
cd "$(dirname "$0")/../.."
preset=$1
shift
scratch=$PWD/build/rebuild-$preset
rm -rf "$scratch"
first=$scratch/one
second=$scratch/a-second-folder-at-a-longer-path/two
for dir in "$first" "$second"; do
  cmake --preset "$preset" -B "$dir" -DVANTREL_BUILD_TESTS=OFF >"$scratch.log" 2>&1 ||
    { cat "$scratch.log"; exit 1; }
  cmake --build "$dir" -j2 --target "$@" >"$scratch.log" 2>&1 || { cat "$scratch.log"; exit 1; }
done
status=0
for target in "$@"; do
  program=$target
  [ -f "$first/$program" ] || program=$target.exe
  if cmp "$first/$program" "$second/$program"; then
    echo "$program: the same $(stat -c %s "$first/$program") bytes from both folders"
  else
    status=1
  fi
done
[ $status = 1 ] || rm -rf "$scratch" "$scratch.log"
exit $status
