#!/usr/bin/env bash
# Installs the Debian packages that the build, the program and the tests need,
# skipping those already present. Uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  dpkg-dev
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins qt6-translations-l10n libgl-dev
  libgtest-dev googletest libbenchmark-dev
  libpugixml-dev
  # xmllint: the tests check every XML diff dat against the DTD it carries
  libxml2-utils
  clang libclang-rt-14-dev
  mingw-w64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  # rsvg-convert: the Windows build's pictures, drawn as PNG from the SVG ones
  librsvg2-bin
  wine64
  # the fonts of the window's tests, on Linux and under Wine
  fonts-dejavu-core
  # xwininfo: the Windows smoke run finds the window on the virtual display
  xvfb xauth x11-utils
)

# Extra packages for the interactive run and screenshots only.
if [ "${1:-}" = "--gui" ]; then
  packages+=(imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
