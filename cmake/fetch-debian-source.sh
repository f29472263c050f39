#!/usr/bin/env bash
# Downloads a Debian source package (without unpacking it) into <dir>, from the
# suites and mirror that the machine's own apt entries use: a deb-src twin of
# them is added when there is none. The Windows cross build takes the sources of
# libraries that Debian ships for the host only (pugixml, qt6-base) from here.
#
#   cmake/fetch-debian-source.sh <package>[=<version>] <dir>
#   cmake/fetch-debian-source.sh --versions <package>   the versions the mirror
#                                                      carries, one a line
set -euo pipefail
usage="usage: $0 <package>[=<version>] <dir> | --versions <package>"
package=${1:?$usage}
dir=${2:?$usage}

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi

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
    timeout 600 $sudo apt-get update -qq
fi

if [ "$package" = --versions ]; then
    versions() { apt-cache showsrc "$dir" 2>/dev/null | sed -n 's/^Version: //p'; }
    # The source index may be missing or stale although the entry exists.
    found=$(versions)
    if [ -z "$found" ]; then
        timeout 600 $sudo apt-get update -qq
        found=$(versions)
    fi
    printf '%s\n' "$found" | sed '/^$/d'
    exit 0
fi

mkdir -p "$dir"
chmod a+rwx "$dir"  # apt's download user writes there
download() { (cd "$dir" && timeout 900 apt-get source --download-only -qq "$package" >/dev/null); }
# The source index may be missing or stale although the entry exists.
download || { timeout 600 $sudo apt-get update -qq && download; }
