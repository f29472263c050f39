#!/usr/bin/env bash
# Starts the real ZandorelFE.exe under Wine with Qt's "windows" platform on the
# X display in $DISPLAY (run it through xvfb-run), from a program folder whose
# name is not ASCII, with a dat whose name is not ASCII in its library:
#
#   1. the main window appears with its title, and closes when asked (a close
#      message, as from the title bar's button), exiting with 0;
#   2. its settings are then in the current user's registry, where QSettings
#      keeps them on Windows;
#   3. on a second start the window takes the position stored there.
#
# Wine gets a prefix of its own, so the first start sees no settings. Every
# wait has a time limit. Exit code: non-zero when anything fails.
#
#   scripts/smoke-windows-gui.sh <program folder> <work folder> [screenshot.png]
set -euo pipefail
source_folder=$(realpath "${1:?usage: $0 <program folder> <work folder> [screenshot.png]}")
work=$(realpath -m "${2:?usage: $0 <program folder> <work folder> [screenshot.png]}")
screenshot=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
: "${DISPLAY:?no X display: run this through xvfb-run}"

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
server="$(dirname "$wine")/wineserver"
[ -x "$server" ] || server=wineserver
# Wine reads Unix file names in the locale's character set.
export LC_ALL=C.UTF-8
# The real window, whatever platform the tests run on (scripts/test.sh).
unset QT_QPA_PLATFORM
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

title="Zandorel FE"
key='HKCU\Software\ZandorelFE\ZandorelFE\Position'
fail() { echo "smoke run: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
prefix="$work/wineprefix"
folder="$work/Programmi àèìòù ß 日本"
cp -r "$source_folder" "$folder"
dat_name="Così è – 日本.dat"
cp "$(ls "$folder"/datfiles/*.dat | head -n 1)" "$folder/datfiles/$dat_name"

# The prefix is made as for the tests, without a display; the Wine services
# started with it would keep that, so they are stopped before the first start.
DISPLAY= "$here/cmake/wine-run.sh" "$prefix" "$wine" wineboot
export WINEPREFIX="$prefix"
stop_wine() { timeout 60 "$server" -k 2>/dev/null || true; timeout 60 "$server" -w 2>/dev/null || true; }
stop_wine
trap stop_wine EXIT

# "x y" of the top-level X window with the program's title; nothing when none.
window_position() {
    xwininfo -root -tree 2>/dev/null |
        sed -n "s/.*\"$title\": .* [0-9]*x[0-9]*[-+][-0-9]*[-+][-0-9]*  +\([-0-9]*\)+\([-0-9]*\)$/\1 \2/p" |
        head -n 1
}

# Starts the program, waits for its window, returns the window's position in
# $position; $pid is the running program.
start_program() {
    (cd "$folder" && exec timeout 300 "$wine" ./ZandorelFE.exe) </dev/null >"$work/program.log" 2>&1 &
    pid=$!
    position=""
    for _ in $(seq 1 360); do
        position=$(window_position)
        [ -n "$position" ] && break
        kill -0 "$pid" 2>/dev/null || fail "ZandorelFE.exe ended before its window showed: $(cat "$work/program.log")"
        sleep 0.5
    done
    [ -n "$position" ] || fail "no window titled \"$title\" within 180 s"
    # The window is mapped; give Qt a moment to paint it for the screenshot.
    sleep 2
}

close_program() {
    timeout 60 "$wine" taskkill /IM ZandorelFE.exe >/dev/null 2>&1 ||
        fail "taskkill could not ask ZandorelFE.exe to close"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "ZandorelFE.exe exited with $status after the close message"
    [ -z "$(window_position)" ] || fail "the window is still there after the program ended"
}

stored_value() {
    timeout 60 "$wine" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_SZ *\([-0-9]*\)$/\1/p" || true
}

echo "smoke run: first start, from $folder"
start_program
read -r x1 y1 <<<"$position"
echo "smoke run: window \"$title\" at $x1,$y1"
if [ -n "$screenshot" ] && command -v import >/dev/null; then
    timeout 60 import -window root "$screenshot" && echo "smoke run: screenshot $screenshot"
fi
close_program
left=$(stored_value Left)
top=$(stored_value Top)
[ -n "$left" ] && [ -n "$top" ] || fail "no position under $key: $(timeout 60 "$wine" reg query "$key" 2>&1)"
echo "smoke run: stored Left=$left Top=$top"

# The stored position moved by 40 and 30 pixels (15 twips each) must be where
# the window opens next time.
new_left=$((left + 600))
new_top=$((top + 450))
timeout 60 "$wine" reg add "$key" /v Left /t REG_SZ /d "$new_left" /f >/dev/null
timeout 60 "$wine" reg add "$key" /v Top /t REG_SZ /d "$new_top" /f >/dev/null
echo "smoke run: second start, with Left=$new_left Top=$new_top"
start_program
read -r x2 y2 <<<"$position"
echo "smoke run: window at $x2,$y2"
[ "$x2" -eq $((x1 + 40)) ] && [ "$y2" -eq $((y1 + 30)) ] ||
    fail "the window opened at $x2,$y2, not at $((x1 + 40)),$((y1 + 30)) as stored"
close_program
[ -f "$folder/datfiles/$dat_name" ] || fail "the dat $dat_name is gone"
echo "smoke run: passed"
