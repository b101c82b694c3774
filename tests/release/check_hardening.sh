#!/usr/bin/env bash
# The protections a security review reads from a program first, read with
# the review's own tools: pesec for the Windows builds, checksec for Linux.
# pesec's stack cookie guess looks for another compiler's code, so the stack
# protector of a PE file is read from its failure routine, linked in only
# when code calls it.
#   tests/release/check_hardening.sh PROGRAM...
set -euo pipefail
status=0
refuse() { echo "check_hardening: $1: $2" >&2; status=1; }

check_pe() {
  local reading want
  reading=$(pesec -f csv "$1")
  want=("ASLR,yes" "DEP/NX,yes")
  # A 32-bit image registers no SEH handler; a 64-bit one unwinds through
  # its own tables, which the flag does not cover.
  if x86_64-w64-mingw32-objdump -f "$1" | grep -q 'file format pei-i386'; then want+=("SEH,no"); fi
  for line in "${want[@]}"; do
    grep -qxF "$line" <<<"$reading" || refuse "$1" "pesec reads $(grep -F "${line%,*}," <<<"$reading")"
  done
  grep -qaF 'stack smashing detected' "$1" || refuse "$1" "no stack protector linked in"
  echo "$1: $(tr '\n' ' ' <<<"$reading")"
}

check_elf() {
  local relro canary nx pie fortify
  IFS=, read -r relro canary nx pie _ _ _ fortify _ <<<"$(checksec --format=csv --file="$1")"
  [ "$relro" = "Full RELRO" ] || refuse "$1" "$relro"
  [ "$canary" = "Canary found" ] || refuse "$1" "$canary"
  [ "$nx" = "NX enabled" ] || refuse "$1" "$nx"
  [ "$pie" = "PIE enabled" ] || refuse "$1" "$pie"
  [ "$fortify" = "Yes" ] || refuse "$1" "not fortified"
  echo "$1: $relro, $canary, $nx, $pie, fortified: $fortify"
}

for program in "$@"; do
  case $(head -c 4 "$program" | od -An -tx1 | tr -d ' ') in
    4d5a*) check_pe "$program" ;;
    7f454c46) check_elf "$program" ;;
    *) refuse "$program" "neither a PE nor an ELF file" ;;
  esac
done
exit $status
