#!/usr/bin/env bash
# Builds the Windows side with MinGW-w64 and tests it under Wine: the platform
# layer's Win32 code, the logic, zandorel.exe, datgen.exe, ZandorelFE.exe with
# a static Qt that cmake/build-qt-mingw.sh makes (and caches), and their tests,
# the window's on Qt's offscreen platform. Then it makes the portable zip,
# checks what it holds, unpacks it and starts the real ZandorelFE.exe from it on
# a virtual display (scripts/smoke-windows-gui.sh). Needs no display and asks
# nothing; every step has a time limit, so it cannot hang.
# Exit code: non-zero when anything fails.
#
# When the Qt cannot be had (its sources cannot be fetched, or it does not
# build), everything else is still built and tested and the window's part is
# reported as skipped; ZFE_REQUIRE_WINDOWS_GUI=1 makes that a failure.
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

# Qt for the window: about half an hour the first time, then from the cache.
# Its limit leaves CI (90 minutes in all) the time to finish the rest.
# ZFE_WINDOWS_GUI=0 leaves the window out (no Qt build).
gui=ON
qt_dir=""
if [ "${ZFE_WINDOWS_GUI:-1}" = 0 ]; then
    gui=OFF
elif qt_output=$(ZFE_QT_BUILD_TIMEOUT=${ZFE_QT_BUILD_TIMEOUT:-2700} timeout 3300 ./cmake/build-qt-mingw.sh); then
    qt_dir=$(tail -n 1 <<<"$qt_output")
elif [ "${ZFE_REQUIRE_WINDOWS_GUI:-0}" = 1 ]; then
    echo "error: no Qt for MinGW-w64" >&2
    exit 1
else
    echo "warning: no Qt for MinGW-w64: ZandorelFE.exe and its tests are SKIPPED" >&2
    gui=OFF
fi

timeout 600 cmake --preset mingw -DZFE_BUILD_GUI="$gui" -DZFE_QT_MINGW_DIR="$qt_dir" >/dev/null
timeout 3600 cmake --build --preset mingw -j "$jobs"

export WINEPREFIX="$PWD/$build_dir/wineprefix"
export WINEDEBUG=-all
unset DISPLAY WAYLAND_DISPLAY
status=0
# Each test program has its own limit (cmake/wine-run.sh stops a run that does
# not end, and says in which case it was); the whole run has one more. One at a
# time: the Wine runs share a server. Every program runs once: a failure fails
# the run.
timeout 3600 ctest --preset mingw -j 1 --timeout 600 "$@" || status=$?

# Stop the Wine server that the runs kept alive for this prefix.
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
timeout 60 "$wineserver" -k 2>/dev/null || true

# The portable zip: what it must hold, then unpacked and started.
check_zip() {
    local package="$build_dir/package" zip top listing entry
    rm -rf "$package"
    timeout 600 cpack --config "$build_dir/CPackConfig.cmake" -G ZIP -B "$package" >/dev/null || return 1
    zip=$(realpath "$(ls "$package"/ZandorelFE-*-win64.zip)") || return 1
    top=$(basename "$zip" .zip)
    listing=$(timeout 120 cmake -E tar tf "$zip")
    for entry in ZandorelFE.exe zdrl/zandorel.exe datfiles/mame-old.dat datfiles/mame-new.dat \
                 licences/ZandorelFE-LICENSE.txt licences/Qt-LGPL-3.0-only.txt licences/Qt-GPL-3.0-only.txt \
                 licences/Qt-NOTICE.txt licences/qt6-base.txt licences/mingw-w64-runtime.txt; do
        if ! grep -qxF "$top/$entry" <<<"$listing"; then
            echo "$zip does not hold $top/$entry" >&2
            return 1
        fi
    done
    echo "$zip holds the programs, the sample dats and the licences"
    (cd "$package" && timeout 120 cmake -E tar xf "$zip") || return 1
    timeout 900 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
        ./scripts/smoke-windows-gui.sh "$package/$top" "$build_dir/smoke" \
        "$build_dir/smoke/screenshot.png"
}
if [ "$gui" = ON ]; then
    check_zip || status=1
else
    echo "warning: ZandorelFE.exe, its tests, the zip and the smoke run were SKIPPED" >&2
fi

exit "$status"
