#!/usr/bin/env bash
# setup.exe must start on a bare Windows: a PE32 GUI program, at most 64 KiB,
# whose header names the oldest Windows it runs on (XP, 5.1) and which
# imports nothing newer, importing only ADVAPI32, KERNEL32, USER32 and the C
# runtime (all loaded from the system directory whatever the search order),
# that declares its elevation, its supported Windows versions and its
# version information, and that takes addresses above 2 GiB.
set -euo pipefail
exe=$1
version=${2:?usage: check_setup_exe.sh SETUP-EXE FILE-VERSION}
oldest=5.1
objdump=i686-w64-mingw32-objdump
objcopy=i686-w64-mingw32-objcopy
fail() { echo "check_setup_exe: $*" >&2; exit 1; }

headers=$($objdump -p "$exe")
grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 i386 image"
grep -qE '^Subsystem\s+00000002' <<<"$headers" || fail "not a GUI-subsystem program"
header_version() { awk -v key="$1" '$1 == "Major" key {major = $2} $1 == "Minor" key {minor = $2}
  END {print major "." minor}' <<<"$headers"; }
for key in SubsystemVersion OSystemVersion; do
  [ "$(header_version $key)" = "$oldest" ] ||
    fail "header $key $(header_version $key), not the oldest Windows $oldest"
done
# What Windows added after XP, which a program for XP must look up while
# running: an import of one would stop it before its first line there.
newer='GetFinalPathNameByHandle[AW]|SetDefaultDllDirectories|AddDllDirectory|GetTickCount64|'
newer+='CreateSymbolicLink[AW]|SetFileInformationByHandle|GetFileInformationByHandleEx|'
newer+='InitializeSRWLock|AcquireSRWLock(Exclusive|Shared)|InitializeConditionVariable|'
newer+='SleepConditionVariable(CS|SRW)|InitOnce[A-Za-z]+|InitializeCriticalSectionEx|'
newer+='Create(Mutex|Event|Semaphore)Ex[AW]|FlsAlloc|GetThreadId|QueryFullProcessImageName[AW]|'
newer+='CancelIoEx|RegGetValue[AW]|RegDeleteTree[AW]|GetErrorMode|'
newer+='(Initialize|Update|Delete)ProcThreadAttributeList|GetSystemTimePreciseAsFileTime|CreateFile2|[A-Za-z_]+_s'
imports=$(awk '/DLL Name:/ {dll = 1; next} NF == 0 {dll = 0}
  dll && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}' <<<"$headers")
found=$(grep -xE "$newer" <<<"$imports" | tr '\n' ' ' || true)
[ -z "$found" ] || fail "imports ${found% }, newer than the oldest Windows $oldest"
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
strings -el "$resources" | grep -qxF "$version" || fail "no file version $version"
grep -qF "version=\"$version\"" "$resources" || fail "the manifest is not of version $version"

# Hardened, read from the file: moved at every start with its relocations
# kept, no code run from data, and no SEH handler in the image (nothing
# reaches the handler chain at %fs:0).
flags=$((16#$(awk '/^DllCharacteristics/ {print $2}' <<<"$headers")))
for flag in 0x40:DYNAMIC_BASE 0x100:NX_COMPAT 0x400:NO_SEH; do
  (((flags & ${flag%%:*}) != 0)) || fail "DllCharacteristics lacks ${flag#*:}"
done
# A 32-bit program gets addresses above 2 GiB only when its header says it
# takes them (4 GiB under 64-bit Windows, 3 GiB on 32-bit Windows with /3GB):
# room for a large file's buffer.
image=$((16#$(awk '$1 == "Characteristics" {sub(/^0x/, "", $2); print $2; exit}' <<<"$headers")))
(((image & 0x20) != 0)) || fail "Characteristics lacks LARGE_ADDRESS_AWARE"
grep -qE '^Entry 5 [0-9a-f]+ 0*[1-9a-f][0-9a-f]* Base Relocation' <<<"$headers" ||
  fail "no relocations: the image cannot be moved"
! $objdump -d "$exe" | grep -qE '%fs:(0x0([^0-9a-fx]|$)|\()' || fail "code reaches the SEH handler chain"
echo "setup.exe: PE32 GUI for Windows $oldest and later, $size bytes, imports $dlls; manifest and" \
  "version resource $version; large address aware;" \
  "DllCharacteristics $(printf '0x%04x' "$flags") with relocations"
