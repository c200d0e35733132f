#!/usr/bin/env bash
# Runs every fuzz target of build/fuzz for FUZZ_SECONDS each (default 60), one after another,
# starting from the checked-in seeds (copied: the seeds are never written). Fails when a target
# finds a crash, a leak, a time-out or an out-of-memory input; the input is kept under
# build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
build=build/fuzz
mkdir -p "$build/findings" "$build/corpus"
status=0
shopt -s nullglob
targets=("$build"/Tests/Fuzz/fuzz-*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "No fuzz targets in $build: run make fuzz." >&2
  exit 1
fi
for target in "${targets[@]}"; do
  name="${target##*/fuzz-}"
  seeds="Tests/Fuzz/corpus/$name"
  work="$build/corpus/$name"
  mkdir -p "$work"
  options=(-max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$build/findings/$name-")
  case "$name" in
    # Info.plists are read up to 1,999,999 bytes, and the reader's work is linear: an input that
    # takes a second is a finding.
    property-list) options+=(-max_len=1999999 -timeout=1) ;;
    *) options+=(-max_len=65536 -timeout=10) ;;
  esac
  [ -f "Tests/Fuzz/$name.dict" ] && options+=(-dict="Tests/Fuzz/$name.dict")
  echo "== fuzz-$name for ${seconds}s"
  log="$build/fuzz-$name.log"
  if "$target" "${options[@]}" "$work" "$seeds" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "   no finding: ${runs:-?} runs, $(grep -o 'exec/s: [0-9]*' "$log" | tail -1)"
  elif slow=$(sed -n 's/^.*Test unit written to \(.*-timeout-[0-9a-f]*\)$/\1/p' "$log" | tail -1) &&
       [ -n "$slow" ] && "$target" "${options[@]}" "$slow" >"$log.again" 2>&1; then
    # The time-out is wall-clock time: on a busy machine the scheduler can stall a quick input.
    # A slow input is slow again when it runs alone; this one was not.
    echo "   a time-out that did not recur when its input ran alone (a busy machine?): $slow"
  else
    echo "   FINDING (see $log and $build/findings/):"
    grep -E "ERROR|SUMMARY|runtime error|Test unit written" "$log" | head -20 || true
    status=1
  fi
done
exit $status
