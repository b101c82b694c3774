#!/usr/bin/env bash
# setup.exe must start on a bare Windows: a PE32 GUI program, at most 64 KiB,
# importing only ADVAPI32, KERNEL32, USER32 and the C runtime (all loaded from
# the system directory whatever the search order), that declares its
# elevation, its supported Windows versions and its version information.
set -euo pipefail
exe=$1
objdump=i686-w64-mingw32-objdump
objcopy=i686-w64-mingw32-objcopy
fail() { echo "check_setup_exe: $*" >&2; exit 1; }

headers=$($objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 i386 image"
grep -qE '^Subsystem\s+00000002' <<<"$headers" || fail "not a GUI-subsystem program"
dlls=$(grep 'DLL Name:' <<<"$headers" | awk '{print $3}' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
[ "$dlls" = "ADVAPI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL " ] || fail "imports $dlls"
size=$(stat -c %s "$exe")
[ "$size" -le 65536 ] || fail "$size bytes, more than 64 KiB"

resources=$(mktemp)
trap 'rm -f "$resources"' EXIT
$objcopy -O binary --only-section=.rsrc "$exe" "$resources"
grep -q 'requestedExecutionLevel level="requireAdministrator"' "$resources" || fail "no elevation in the manifest"
grep -q '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a' "$resources" || fail "no supported Windows versions"
strings -el "$resources" | grep -q '^FileDescription$' || fail "no version resource"
strings -el "$resources" | grep -q '^1.0.0.0$' || fail "no file version"
echo "setup.exe: PE32 GUI, $size bytes, imports $dlls; manifest and version resource present"
