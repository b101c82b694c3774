#!/bin/sh
# The example's Linux installer. setup starts it as SETUP.EXE in the folder
# it restored the medium to; it copies the application into
# $TIDEWATER_PREFIX (default: $HOME/.local/share/tidewater).
set -eu
prefix=${TIDEWATER_PREFIX:-$HOME/.local/share/tidewater}
mkdir -p "$prefix"
cp -R app docs "$prefix"/
chmod +x "$prefix/app/greet.sh"
echo "installed Tidewater into $prefix"
