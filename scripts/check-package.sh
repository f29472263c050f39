#!/usr/bin/env bash
# Builds the Debian package from a build folder (default: build/, already
# built), unpacks it into a scratch root and checks it as an installation for
# every user: its layout and dependencies, the manual page against
# zandorel --help, the unpacked zandorel run by an ordinary user (nobody) on two
# small dats, and the unpacked window started by that user, which must move
# its library into the user's own folder because it cannot write its own.
# Runs as root (through sudo otherwise); needs no display.
#
#   scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

fail() { echo "check-package: $*" >&2; exit 1; }

packages="$build/package"
rm -rf "$packages"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$packages" >/dev/null
debs=("$packages"/zandorelfe_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one zandorelfe_*.deb in $packages"
deb=${debs[0]}
echo "package: $deb ($(stat -c %s "$deb") bytes)"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6; do
  tr ',' '\n' <<<"$depends" | sed -E 's/^ +//; s/ .*//' | grep -qx "$library" ||
    fail "Depends lacks $library: $depends"
done
echo "depends: $depends"

# A scratch root owned by root, mode 755: nobody can read and run everything
# in it and write nothing, as in a real /usr.
scratch=$(mktemp -d)
window_pid=""
cleanup() {
  if [ -n "$window_pid" ]; then kill "$window_pid" 2>/dev/null || true; fi
  $sudo rm -rf "$scratch"
}
trap cleanup EXIT
chmod 755 "$scratch"
root="$scratch/root"
dpkg -x "$deb" "$root"
touch "$scratch/unpacked"
program="$root/usr/lib/zandorelfe"

for file in "$program/ZandorelFE" "$program/zdrl/zandorel"; do
  [ -f "$file" ] && [ -x "$file" ] || fail "missing program $file"
done
for file in "$program/datfiles/mame-old.dat" "$program/datfiles/mame-new.dat" \
            "$root/usr/share/applications/zandorelfe.desktop" \
            "$root/usr/share/icons/hicolor/scalable/apps/zandorelfe.svg" \
            "$root/usr/share/man/man1/zandorel.1.gz"; do
  [ -f "$file" ] || fail "missing $file"
done
[ "$(readlink "$root/usr/bin/zandorelfe")" = "../lib/zandorelfe/ZandorelFE" ] ||
  fail "usr/bin/zandorelfe does not lead to the program"
[ "$(readlink "$root/usr/bin/zandorel")" = "../lib/zandorelfe/zdrl/zandorel" ] ||
  fail "usr/bin/zandorel does not lead to the tool"
grep -qx 'Exec="/usr/lib/zandorelfe/ZandorelFE"' "$root/usr/share/applications/zandorelfe.desktop" ||
  fail "the desktop entry does not start /usr/lib/zandorelfe/ZandorelFE"
echo "layout: ok"

# The copyright record holds the project's licence, word for word.
copyright="$root/usr/share/doc/zandorelfe/copyright"
[ -f "$copyright" ] || fail "missing $copyright"
grep -qx 'License: GPL-3+' "$copyright" || fail "the copyright record names no GPL-3+ licence"
diff <(sed -n '/^ The licence.s full text/,$p' "$copyright" | tail -n +3 | sed -E 's/^ //; s/^\.$//') \
     <(sed -E 's/[[:space:]]+$//' LICENSE) >/dev/null ||
  fail "the copyright record does not hold LICENSE's text"
echo "copyright: GPL-3+, with LICENSE's text"

# The page's synopsis and description hold the words of --help, in order.
words_of_help() { sed -E 's/^Usage: *//; s/^ +or: *//' | tr -s ' \t\n' '\n\n\n' | sed '/^$/d'; }
words_of_page() {
  zcat | sed -n '/^\.SH SYNOPSIS/,$p' |
    sed -E '/^\.(SH|TP|PP|br)( |$)/d; s/^\.B //; s/\\-/-/g; s/\\e/\\/g; s/\\&//g' |
    tr -s ' \t\n' '\n\n\n' | sed '/^$/d'
}
diff <("$root/usr/bin/zandorel" --help | words_of_help) \
     <(words_of_page < "$root/usr/share/man/man1/zandorel.1.gz") >/dev/null ||
  fail "the manual page does not say what zandorel --help says"
echo "manual page: says what --help says"

# The tool on PATH, run by nobody in a work folder of nobody's own.
work="$scratch/work"
mkdir "$work"
cp "$program/datfiles/mame-old.dat" "$program/datfiles/mame-new.dat" "$work/"
$sudo chown -R nobody "$work"
if $sudo runuser -u nobody -- touch "$program/zdrl/probe" 2>/dev/null; then
  fail "nobody can write the unpacked program folder; the check would prove nothing"
fi
status=0
$sudo runuser -u nobody -- sh -c 'cd "$1" && "$2" -M -t mame-old.dat mame-new.dat' \
  sh "$work" "$root/usr/bin/zandorel" || status=$?
# 0 or 1 both mean a finished comparison (1: the dats differ, in a tool that
# says so); more is trouble.
[ "$status" -le 1 ] || fail "zandorel run by nobody ended with $status"
[ -s "$work/zandorel.dat" ] && [ -s "$work/zandorel.log" ] ||
  fail "zandorel run by nobody left no zandorel.dat or zandorel.log"
grep -q '^Summary:' "$work/zandorel.log" || fail "zandorel.log has no summary"
echo "zandorel as nobody: exit $status, $(tail -n 1 "$work/zandorel.log")"

# The window, started by nobody through the link on PATH: it cannot write its
# own folder, so it makes ~/.local/share/ZandorelFE with the sample dats.
home="$scratch/home"
mkdir "$home"
$sudo chown nobody "$home"
$sudo runuser -u nobody -- env -u XDG_DATA_HOME HOME="$home" QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/zandorelfe" >"$scratch/window.log" 2>&1 &
window_pid=$!
user_library="$home/.local/share/ZandorelFE/datfiles"
for _ in $(seq 1 100); do
  [ -f "$user_library/mame-new.dat" ] && [ -d "$home/.local/share/ZandorelFE/zdrl" ] && break
  kill -0 "$window_pid" 2>/dev/null || break
  sleep 0.2
done
kill "$window_pid" 2>/dev/null || true
wait "$window_pid" 2>/dev/null || true
window_pid=""
cmp -s "$user_library/mame-old.dat" "$program/datfiles/mame-old.dat" &&
  cmp -s "$user_library/mame-new.dat" "$program/datfiles/mame-new.dat" ||
  { cat "$scratch/window.log" >&2; fail "the window run by nobody made no library of the user's own"; }
[ "$(stat -c %U "$user_library")" = nobody ] || fail "the user's library does not belong to the user"
[ -z "$(find "$program" -newer "$scratch/unpacked" -print -quit)" ] || fail "the window changed its program folder"
echo "window as nobody: library made in ~/.local/share/ZandorelFE with the sample dats"
echo "package check: ok"
