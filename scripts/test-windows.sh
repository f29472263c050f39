#!/usr/bin/env bash
# Builds the Windows side with MinGW-w64 (everything without Qt: the platform
# layer's Win32 code, the logic, zandorel.exe, datgen.exe and their tests, and
# ZandorelFE.exe's resource script) and runs the tests under Wine. Needs no
# display and asks nothing; every step has a time limit, so it cannot hang.
# Exit code: non-zero when anything fails.
#
#   scripts/test-windows.sh [ctest arguments...]   e.g. -R zfe_windows
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${ZFE_JOBS:-$(nproc 2>/dev/null || echo 2)}
build_dir=build-mingw

# MinGW-w64, Wine and GoogleTest's sources are in the project's package list.
./scripts/install-deps.sh

# The pugixml sources for the XML reading of zandorel.exe (Debian ships no
# MinGW build of the library); without them zandorel.exe reads listinfo only.
timeout 600 ./cmake/fetch-pugixml-source.sh "$build_dir/_deps/pugixml" ||
    echo "warning: no pugixml sources; zandorel.exe is built without XML support" >&2

timeout 600 cmake --preset mingw >/dev/null
timeout 3600 cmake --build --preset mingw -j "$jobs"

export WINEPREFIX="$PWD/$build_dir/wineprefix"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
status=0
# Each test program has its own limit; the whole run has one more.
timeout 3600 ctest --preset mingw -j "$jobs" --timeout 600 "$@" || status=$?

# Stop the Wine server that the runs kept alive for this prefix.
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
timeout 60 "$wineserver" -k 2>/dev/null || true

exit "$status"
