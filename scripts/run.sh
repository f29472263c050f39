#!/usr/bin/env bash
# Installs what is missing, builds, and starts ZandorelFE on the sample library.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "ZandorelFE is built in build/bin/, but there is no display to show its window" >&2
    echo "(neither DISPLAY nor WAYLAND_DISPLAY is set). Start it from a desktop session," >&2
    echo "or under a virtual display:  xvfb-run -a build/bin/ZandorelFE" >&2
    exit 2
fi
exec ./build/bin/ZandorelFE
