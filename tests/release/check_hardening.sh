#!/usr/bin/env bash
# The protections a security review reads from a program first, read with
# its own tools: pesec for Windows programs, checksec for Linux ones. pesec's
# stack cookie guess matches another compiler's start-up code, so a PE file's
# stack protector is read from its failure routine, linked in only when called.
#   tests/release/check_hardening.sh PROGRAM...
set -uo pipefail
status=0
for program in "$@"; do
  if [ "$(head -c 2 "$program")" = MZ ]; then
    reading=$(pesec -f csv "$program" | grep -v '^Stack cookies' | tr '\n' ' ')
    grep -qaF 'stack smashing detected' "$program" && reading+="stack protector"
    # 64-bit code unwinds through its own tables, which the SEH flag does not cover.
    seh=no
    x86_64-w64-mingw32-objdump -f "$program" | grep -q pei-i386 || seh=yes
    want="ASLR,yes DEP/NX,yes SEH,$seh stack protector"
  else
    reading=$(checksec --format=csv --file="$program" | cut -d, -f1-4,8)
    want="Full RELRO,Canary found,NX enabled,PIE enabled,Yes"
  fi
  if [ "$reading" = "$want" ]; then
    echo "$program: $reading"
  else
    echo "$program: $reading, not $want"
    status=1
  fi
done
exit $status
