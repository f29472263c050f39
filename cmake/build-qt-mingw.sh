#!/usr/bin/env bash
# Builds the Qt that the Windows cross build links ZandorelFE.exe with: Qt Core,
# Gui and Widgets with the windows and offscreen platform plugins, static,
# Release, from Debian's qt6-base source package of the same version as the
# host's Qt tools (whose moc, rcc and uic the build uses); when the mirror
# carries only a newer source, the tools of that version are installed first.
# Debian ships Qt for Linux only, so the project makes this one itself.
#
# The result is cached outside the source tree, keyed by the Qt version and the
# build settings, and reused when present. It is installed into a temporary
# folder and renamed into place only after the whole build and installation
# succeeded, with a stamp written last: a failed or interrupted build never
# leaves anything that a later run would take for a good Qt. Such a build's
# work folder stays beside the cache, and the next run resumes it.
#
#   cmake/build-qt-mingw.sh           prints the installed Qt's folder on its last line
#   cmake/build-qt-mingw.sh --folder  only prints the folder that it uses (built or not)
#
# Environment: ZFE_QT_CACHE (default $XDG_CACHE_HOME/zandorelfe, else
# ~/.cache/zandorelfe), ZFE_JOBS (default: all cores).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

triplet=x86_64-w64-mingw32
jobs=${ZFE_JOBS:-$(nproc 2>/dev/null || echo 2)}
# CI and service runners may start it without HOME: the account's home then.
home=${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}
if [ -z "${ZFE_QT_CACHE:-}${XDG_CACHE_HOME:-}" ] && [ -z "$home" ]; then
    echo "no folder for the Qt cache: set HOME, XDG_CACHE_HOME or ZFE_QT_CACHE" >&2
    exit 1
fi
cache_root=${ZFE_QT_CACHE:-${XDG_CACHE_HOME:-$home/.cache}/zandorelfe}
host_cmake_dir=/usr/lib/x86_64-linux-gnu/cmake

# The host's moc, rcc and uic read and write the formats of their own version.
version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)
if [ -z "$version" ]; then
    echo "qt6-base-dev-tools is not installed (scripts/install-deps.sh)" >&2
    exit 1
fi

# Only what ZandorelFE.exe and its tests use. Needed beyond that, as found when
# the Windows plugin did not build otherwise: tablet events off (Debian's source
# leaves out wintab.h), dynamic OpenGL off with OpenGL, Direct2D on (the
# DirectWrite font database that the Windows plugin links comes with it), but
# Direct2D 1.1 off (it only adds the direct2d platform plugin, a second build of
# the Windows plugin that the program does not use).
options=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=OFF
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DQT_HOST_PATH=/usr
  -DQT_HOST_PATH_CMAKE_DIR=$host_cmake_dir
  -DINPUT_opengl=no
  -DFEATURE_opengl=OFF
  -DFEATURE_dynamicgl=OFF
  -DFEATURE_vulkan=OFF
  -DFEATURE_tabletevent=OFF
  -DFEATURE_direct2d=ON
  -DFEATURE_direct2d1_1=OFF
  -DFEATURE_network=OFF
  -DFEATURE_sql=OFF
  -DFEATURE_printsupport=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DFEATURE_testlib=OFF
  -DFEATURE_icu=OFF
  -DFEATURE_zstd=OFF
  -DFEATURE_jpeg=OFF
  -DFEATURE_gif=OFF
  -DFEATURE_ico=OFF
  -DFEATURE_system_zlib=OFF
  -DFEATURE_system_png=OFF
  -DFEATURE_system_pcre2=OFF
  -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF
)

# Qt's own cross toolchain: the posix threads variant of MinGW-w64, looking for
# libraries and headers in its sysroot only.
toolchain_text="set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $triplet-gcc-posix)
set(CMAKE_CXX_COMPILER $triplet-g++-posix)
set(CMAKE_RC_COMPILER $triplet-windres)
set(CMAKE_AR $triplet-gcc-ar-posix)
set(CMAKE_RANLIB $triplet-gcc-ranlib-posix)
set(CMAKE_FIND_ROOT_PATH /usr/$triplet)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
"

compiler_version=$("$triplet-g++-posix" -dumpfullversion 2>/dev/null || echo unknown)
# The cache folder of a Qt of $version: sets key, upstream_version, final, stamp.
name_the_folder() {
    key=$(printf '%s\n' "$version" "$compiler_version" "$toolchain_text" "${options[@]}" |
          sha256sum | cut -c1-12)
    upstream_version=${version%%+*}
    upstream_version=${upstream_version#*:}
    final="$cache_root/qt-mingw-$upstream_version-$key"
    stamp="$final/zfe-build-complete"
}
name_the_folder
if [ "${1:-}" = --folder ]; then
    echo "$final"
    exit 0
fi

if [ -f "$stamp" ]; then
    echo "$final"
    exit 0
fi

mkdir -p "$cache_root"
# One build at a time per cache; a second run waits and then finds the first's.
exec 8>"$cache_root/qt-mingw.lock"
if ! timeout 5400 flock 8; then
    echo "timed out waiting for another Qt build ($cache_root/qt-mingw.lock)" >&2
    exit 1
fi
if [ -f "$stamp" ]; then
    echo "$final"
    exit 0
fi

# The tools and the sources must be of one version. After a Debian point
# release the mirror may carry only a newer qt6-base source than the installed
# tools: the tools of that version are installed first (apt brings the host Qt
# they need along), and the Qt is built of that version.
carried=$("$here/fetch-debian-source.sh" --versions qt6-base)
if ! grep -qxF "$version" <<<"$carried"; then
    candidate=$(apt-cache policy qt6-base-dev-tools | sed -n 's/^ *Candidate: //p')
    if [ -z "$candidate" ] || [ "$candidate" = "(none)" ] || ! grep -qxF "$candidate" <<<"$carried"; then
        echo "The mirror carries no qt6-base source of the installed Qt tools' version $version," >&2
        echo "nor of their version on the mirror (${candidate:-none}); it carries: ${carried:-nothing}" >&2
        exit 1
    fi
    echo "The mirror carries qt6-base $candidate, not $version: installing Qt's tools of $candidate first" >&2
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    DEBIAN_FRONTEND=noninteractive timeout 1200 $sudo apt-get install -y -qq --no-install-recommends \
        "qt6-base-dev-tools=$candidate" "qt6-base-dev=$candidate" >&2
    version=$candidate
    name_the_folder
    if [ -f "$stamp" ]; then
        echo "$final"
        exit 0
    fi
fi

# The work folder is the build's own and outlives an interrupted or failed
# run (a time limit, a killed CI job, a full disk): the next run resumes the
# compile where it stopped rather than starting an hour's work again. Only
# unpacked sources that carry the stamp written after the whole unpacking
# are trusted; anything else there is started afresh.
work="$cache_root/qt-mingw-work-$upstream_version-$key"
start=$(date +%s)
if [ -f "$work/src/zfe-unpacked" ] && [ -f "$work/build/build.ninja" ]; then
    echo "Resuming the build of Qt $upstream_version for MinGW-w64 into $final (log: $work/build.log)" >&2
else
    rm -rf "$work"
    mkdir -p "$work"
    echo "Building Qt $upstream_version for MinGW-w64 into $final (log: $work/build.log)" >&2
    "$here/fetch-debian-source.sh" qt6-base="$version" "$work/download" >&2
    tarball=$(ls "$work"/download/qt6-base_*.orig.tar.* | head -n 1)
    mkdir -p "$work/src"
    tar -xf "$tarball" -C "$work/src" --strip-components=1
    rm -rf "$work/download"
    touch "$work/src/zfe-unpacked"
fi
finished=0
trap '[ "$finished" = 1 ] || echo "The Qt build'"'"'s work stays in $work: the next run resumes it (remove the folder to start afresh)" >&2' EXIT

# Written once: a newer toolchain file would make a resumed build configure again.
[ -f "$work/toolchain.cmake" ] || printf '%s' "$toolchain_text" >"$work/toolchain.cmake"
log="$work/build.log"
run_logged() {
    if ! "$@" >>"$log" 2>&1; then
        echo "Qt build step failed: $*" >&2
        tail -n 60 "$log" >&2
        cp "$log" "$cache_root/qt-mingw-failed.log" || true
        return 1
    fi
}
rm -rf "$work/stage"
[ -f "$work/build/build.ninja" ] || run_logged timeout 1800 cmake -G Ninja -S "$work/src" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
    -DCMAKE_INSTALL_PREFIX="$final" \
    "${options[@]}"
run_logged timeout "${ZFE_QT_BUILD_TIMEOUT:-5400}" cmake --build "$work/build" -j "$jobs"
# Installed below a staging root at its final path (the prefix that Qt's files
# name), then moved into place in one rename.
run_logged timeout 900 env DESTDIR="$work/stage" cmake --install "$work/build"
# Qt's licence texts travel with it into every package that links it.
mkdir -p "$work/stage$final/licenses"
find "$work/src" -maxdepth 2 \( -name 'LICENSE*' -o -path '*/LICENSES/*' \) -type f \
    -exec cp {} "$work/stage$final/licenses/" \;
if ! ls "$work/stage$final/licenses/" | grep -q LGPL; then
    echo "Qt's LGPL licence text not found in its sources" >&2
    exit 1
fi
echo "Qt $version, key $key, built in $(( $(date +%s) - start )) s" >"$work/stage$final/zfe-build-complete.tmp"
mv "$work/stage$final/zfe-build-complete.tmp" "$work/stage$final/zfe-build-complete"
rm -rf "$final"
mv "$work/stage$final" "$final"
finished=1
rm -rf "$work"
echo "Qt built in $(( $(date +%s) - start )) s" >&2
echo "$final"
