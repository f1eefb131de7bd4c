#!/usr/bin/env bash
# bash scripts/fuzz.sh [MINUTES] [TARGET...]
# Fuzzes every target (or the TARGETs named: dst, pes, clipboard, ...) for MINUTES each (10 by
# default), one after the other, each on all cores (libFuzzer's fork mode), starting from its
# committed corpus. New corpus entries and any faulty input are kept outside the repository, in
# ${XDG_CACHE_HOME:-~/.cache}/vardelle-fuzz/<target>/ (faults in .../<target>/findings/), and are
# read again by the next run. Prints each target's executions and coverage; exits non-zero when
# a target found a fault. VARDELLE_FUZZ_CORES sets how many cores (all by default).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/fuzz-common.sh

MINUTES=${1:-10}
[[ $# -gt 0 ]] && shift
if ! [[ "$MINUTES" =~ ^[0-9]+$ ]] || [[ "$MINUTES" -eq 0 ]]; then
  echo "usage: bash scripts/fuzz.sh [MINUTES] [TARGET...]" >&2
  exit 2
fi
CORES=${VARDELLE_FUZZ_CORES:-$(nproc 2>/dev/null || echo 2)}
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/vardelle-fuzz
targets=$(fuzz_targets "$@")
count=$(wc -w <<<"$targets")

fuzz_build
echo "== fuzzing $count targets, $MINUTES min each on $CORES cores; corpus and findings in $CACHE"

summaries=()
failed=()
for name in $targets; do
  binary="$FUZZ_BUILD/tests/fuzz/fuzz_$name"
  if [[ ! -x "$binary" ]]; then
    echo "no fuzz target named $name" >&2
    exit 2
  fi
  out="$CACHE/$name"
  mkdir -p "$out/corpus" "$out/findings"
  log="$out/last-run.log"
  echo "-- fuzz_$name ($(date +%H:%M), log $log)"
  # Fork mode writes new entries into the first folder and only reads the committed one.
  if "$binary" -fork="$CORES" -ignore_crashes=0 -max_total_time=$((MINUTES * 60)) -timeout=25 \
       -rss_limit_mb=2048 -artifact_prefix="$out/findings/" $(fuzz_dict "$name") "$out/corpus" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
    :
  else
    failed+=("$name")
  fi
  summaries+=("$(fuzz_summary "$name" "$log" $((MINUTES * 60)))")
  echo "${summaries[-1]}"
done

echo "== summary"
printf '%s\n' "${summaries[@]}"
if [[ ${#failed[@]} -gt 0 ]]; then
  echo "faults found by: ${failed[*]} (inputs in $CACHE/<target>/findings, logs in $CACHE/<target>/last-run.log)" >&2
  exit 1
fi
