#!/usr/bin/env bash
# Puts pugixml's sources into <dest> (dest/src/pugixml.cpp, pugixml.hpp,
# pugiconfig.hpp) for the Windows cross build: Debian ships pugixml for the host
# only, but its source package carries the sources. Uses apt with a deb-src
# entry for the suites that the machine already uses. Does nothing when the
# sources are already there.
#
#   cmake/fetch-pugixml-source.sh <dest>
set -euo pipefail
dest=${1:?usage: $0 <dest>}
if [ -f "$dest/src/pugixml.cpp" ]; then
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/fetch-debian-source.sh" pugixml "$work"
upstream=$(ls "$work"/pugixml_*.orig.tar.* | head -n 1)
mkdir -p "$work/unpacked"
tar -xf "$upstream" -C "$work/unpacked"
source_file=$(find "$work/unpacked" -path '*/src/pugixml.cpp' | head -n 1)
if [ -z "$source_file" ]; then
    echo "pugixml.cpp not found in $upstream" >&2
    exit 1
fi
mkdir -p "$dest"
rm -rf "$dest/src"
cp -r "$(dirname "$source_file")" "$dest/src"
cp "$(dirname "$(dirname "$source_file")")"/LICENSE* "$dest/" 2>/dev/null || true
echo "pugixml sources in $dest"
