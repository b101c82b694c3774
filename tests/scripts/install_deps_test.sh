#!/usr/bin/env bash
# scripts/install-deps against stand-ins for apt-get, dpkg and dpkg-query on
# PATH acting out a registry: no network, nothing installed, any user. In the
# stage, "missing" lists what is not installed, "broken" what cannot be, and
# "update-fails" makes apt-get update exit 100.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/bin"
printf '#!/bin/sh\ngrep -qx "$3" "$STAGE/missing" || echo install ok installed\n' >"$stage/bin/dpkg-query"
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$stage/bin/dpkg"
printf '#!/bin/sh\n' >"$stage/bin/sleep"
cat >"$stage/bin/apt-get" <<'EOF'
#!/bin/sh
echo "$*" >>"$STAGE/calls"
if [ "$1" = update ] && [ -f "$STAGE/update-fails" ]; then
  echo "E: Failed to fetch http://deb.example/dists/s/main/binary-i386/Packages.xz  File has unexpected size" >&2
  exit 100
fi
[ "$1" = install ] || exit 0
for p; do grep -qx -- "$p" "$STAGE/broken" && echo "E: Unable to locate package $p" >&2 && exit 100; done
for p; do grep -vx -- "$p" "$STAGE/missing" >"$STAGE/left"; mv "$STAGE/left" "$STAGE/missing"; done
EOF
chmod +x "$stage/bin/"*
failures=0
act() {  # MISSING BROKEN [GROUP...]
  printf '%s\n' $1 >"$stage/missing" && printf '%s\n' $2 >"$stage/broken" && rm -f "$stage/calls"
  shift 2
  out=$(STAGE=$stage VANTREL_DEPS_STATE=$stage/failed PATH=$stage/bin:$PATH \
    "$root/scripts/install-deps" "$@" 2>&1)
  status=$?
}
expect() { "${@:2}" || { echo "FAILED: $1"; echo "$out"; failures=$((failures + 1)); }; }

touch "$stage/update-fails"
act "cmake wine32:i386" "wine32:i386"
expect "(a) exits 0" [ "$status" -eq 0 ]
expect "(a) names the index" grep -q "could not fetch http://deb.example/.*binary-i386/Packages.xz" <<<"$out"
expect "(a) tries the update twice" [ "$(grep -c '^update' "$stage/calls")" -eq 2 ]
expect "(a) installs the needed" [ "$(cat "$stage/missing")" = wine32:i386 ]
expect "(a) the fallback line" grep -qx "install-deps: wine32:i386 could not be installed;\
 the 64-bit Windows build stands in for the 32-bit one" <<<"$out"
rm "$stage/update-fails"
act "cmake nsis" "nsis" demo-windows
expect "(b) exits non-zero" [ "$status" -ne 0 ]
expect "(b) names the package" grep -q "^install-deps: could not install .*nsis" <<<"$out"
act "" ""
expect "(c) nothing missing, no apt-get" [ "$status" -eq 0 -a ! -e "$stage/calls" ]
# What failed today is not tried again today: no index fetched for it.
act "wine32:i386" "wine32:i386"
expect "(d) exits 0" [ "$status" -eq 0 ]
expect "(d) no apt-get" [ ! -e "$stage/calls" ]
expect "(d) says so" grep -q "wine32:i386 could not be installed earlier today" <<<"$out"
act "nsis" "" demo-windows
expect "(e) exits non-zero" [ "$status" -ne 0 ]
expect "(e) no apt-get" [ ! -e "$stage/calls" ]
expect "(e) says until when" grep -q "nsis earlier today; not tried again until tomorrow" <<<"$out"
# The native demo's group asks only for what the native demo needs.
act "cmake g++ wine nsis xorriso fonts-wine" "" demo
expect "(f) exits 0" [ "$status" -eq 0 ]
expect "(f) only the demo's" grep -qx "install -y -qq --no-install-recommends cmake g++" "$stage/calls"
act "fonts-wine" "" demo-windows
expect "(g) the Windows half's font" grep -q "fonts-wine" "$stage/calls"
[ "$failures" -eq 0 ] && echo "install-deps: 7 cases as expected"
