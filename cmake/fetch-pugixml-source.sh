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

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

# A deb-src twin of the machine's own Debian entries, so the source package
# comes from the same suites (and mirror) as the installed packages.
has_deb_src() {
    grep -rqsE '^(deb-src |Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/
}
if ! has_deb_src; then
    list=/etc/apt/sources.list.d/zfe-deb-src
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            $sudo tee "$list.sources" >/dev/null
    elif [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $sudo tee "$list.list" >/dev/null
    fi
    $sudo apt-get update -qq
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod a+rwx "$work"  # apt's download user writes there
download() { (cd "$work" && apt-get source --download-only -qq pugixml >/dev/null); }
# The source index may be missing or stale although the entry exists.
download || { $sudo apt-get update -qq && download; }
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
