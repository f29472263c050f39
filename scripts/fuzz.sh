#!/usr/bin/env bash
# Builds the fuzz preset and runs each fuzz target of the diff tool's readers for
# a bounded time. Fails on any crash, hang or sanitizer report.
#   scripts/fuzz.sh [SECONDS]   (per target, default 60)
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"

cmake --preset fuzz -S "$root" >/dev/null
cmake --build "$build" -j2 --target zandorel_fuzz_listinfo zandorel_fuzz_xml \
  zandorel_fuzz_xml_scanner

status=0
for kind in listinfo xml xml_scanner; do
  # A working corpus of its own, so that the committed seeds stay as they are.
  # The scanner's target starts from the XML seeds.
  seeds="${kind%_scanner}"
  corpus="$build/fuzz/corpus-$kind"
  mkdir -p "$corpus" "$build/fuzz/seeds/$seeds"
  echo "== zandorel_fuzz_$kind for ${seconds}s"
  if ! "$build/fuzz/zandorel_fuzz_$kind" "$corpus" "$root/fuzz/corpus/$seeds" \
      "$build/fuzz/seeds/$seeds" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/fuzz/crash-$kind-" \
      2>"$build/fuzz/log-$kind.txt"; then
    echo "zandorel_fuzz_$kind FAILED; see $build/fuzz/log-$kind.txt" >&2
    tail -40 "$build/fuzz/log-$kind.txt" >&2
    status=1
  fi
  grep -E "stat::number_of_executed_units|Done [0-9]+ runs" "$build/fuzz/log-$kind.txt" || true
done
exit $status
