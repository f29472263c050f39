#!/bin/sh
# Runs a Windows program under Wine for CTest: wine-run.sh <prefix> <wine> <program> [args...]
#
# Every run is non-interactive and needs no display: the Wine prefix lives in the
# build tree, is made once (under a lock, as CTest may start several tests at
# once), and Wine is told not to offer its Mono and Gecko installers, which would
# otherwise wait for a click that never comes.
set -eu
prefix=$(realpath -m "$1")
wine=$2
shift 2

export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset DISPLAY WAYLAND_DISPLAY
# Wine makes Unix file names from Windows ones in the locale's character set:
# under the C locale that CI may start the tests with, a name outside ASCII
# cannot be made at all. Debian's C library always has C.UTF-8.
export LC_ALL=C.UTF-8

server="$(dirname "$wine")/wineserver"
[ -x "$server" ] || server=wineserver

# The prefix counts as made once its last step is done: one interrupted half-way
# is made again.
ready="$prefix/zfe-prefix-ready"
if [ ! -f "$ready" ]; then
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$ready" ]; then
            timeout 60 "$server" -k 2>/dev/null 9>&- || true
            rm -rf "$prefix"
            timeout 300 "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
            # wineboot returns before the registry is flushed; wait for it.
            timeout 120 "$server" -w 2>/dev/null 9>&- || true
            # Temporary files go to Z:, the drive that maps the Unix root, so that
            # a test may change into a temporary folder and still reach the build
            # tree's programs by their Unix paths, which resolve on the current drive.
            mkdir -p "$prefix/temp"
            temp="Z:$(printf '%s' "$prefix/temp" | tr / '\\')"
            for name in TEMP TMP; do
                timeout 120 "$wine" reg add 'HKCU\Environment' /v "$name" /t REG_SZ \
                    /d "$temp" /f </dev/null >/dev/null 2>&1 9>&- || true
            done
            timeout 120 "$server" -w 2>/dev/null 9>&- || true
            touch "$ready"
        fi
    ) 9>"$prefix.lock"
fi

# Starting Wine's server and its background services takes seconds; keep them
# running between the tests (they end by themselves a minute after the last
# one). They are started here, away from the test's output: services started by
# the test's own Wine would hold CTest's output pipe open, and CTest would wait
# for them. "wineserver -p" fails when a server already runs.
start_server() {
    (
        flock 9
        # (Neither may inherit the lock's descriptor: it would hold the lock.)
        if "$server" -p60 </dev/null >/dev/null 2>&1 9>&-; then
            timeout 120 "$wine" wineboot </dev/null >/dev/null 2>&1 9>&- || true
        fi
    ) 9>"$prefix.lock"
}
start_server

# The program's output goes to a file that is shown when it ends: Wine starts
# its desktop process (explorer.exe /desktop) from the first windowed program,
# with that program's output, and CTest would wait for it as long as it lives.
# A run that does not end within the limit is stopped, with every Wine process
# of the prefix (the tests run one at a time, so that touches no other test),
# and fails: what it printed so far is shown, and the test case it was in
# (GoogleTest prints "[ RUN      ] Suite.Case" as a case starts, and flushes).
limit=${ZFE_WINE_RUN_LIMIT:-240}
output=$(mktemp)
trap 'rm -f "$output"' EXIT
status=0
timeout -k 10 "$limit" "$wine" "$@" >"$output" 2>&1 || status=$?
stopped=false
if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
    # Before the output is shown, so that nothing the program started adds to it.
    timeout 60 "$server" -k 2>/dev/null || true
    stopped=true
fi
cat "$output"
if $stopped; then
    running=$(tr -d '\r' <"$output" | awk '
        /^\[ RUN      \] / { name = substr($0, 14) }
        /^\[       OK \] |^\[  FAILED  \] |^\[  SKIPPED \] / { name = "" }
        END { print name }')
    echo "wine-run.sh: $* did not end within $limit s and was stopped${running:+, in $running}" >&2
fi
exit "$status"
