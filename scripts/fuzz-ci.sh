#!/usr/bin/env bash
# CI stage "fuzz": builds the libFuzzer configuration with clang (ASan + UBSan), replays every
# committed corpus through the libFuzzer targets, then fuzzes every target for a short fixed time
# (VARDELLE_FUZZ_SECONDS, 20 by default) from a copy of its corpus, so the committed corpus is
# never written. A build failure, a replay failure, a crash, a leak, undefined behaviour, an
# input slower than 25 s or one using more than 2 GB fails the stage (and CI).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/fuzz-common.sh

SECONDS_EACH=${VARDELLE_FUZZ_SECONDS:-20}
JOBS=$(nproc 2>/dev/null || echo 2)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/vardelle-fuzz-ci.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

fuzz_build
ctest --test-dir "$FUZZ_BUILD" -j "$JOBS" --output-on-failure

run_one() {
  local name=$1
  local dir="$WORK/$name"
  mkdir -p "$dir/corpus"
  cp -R "tests/fuzz/corpus/$name/." "$dir/corpus/"
  "$FUZZ_BUILD/tests/fuzz/fuzz_$name" -max_total_time="$SECONDS_EACH" -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/" $(fuzz_dict "$name") "$dir/corpus" >"$dir/log" 2>&1 || touch "$dir/failed"
}

# Every target, JOBS at a time; a target that fails leaves a "failed" mark in its folder.
for name in $(fuzz_targets); do
  while [[ $(jobs -rp | wc -l) -ge $JOBS ]]; do wait -n || true; done
  run_one "$name" &
done
wait

failed=()
for name in $(fuzz_targets); do
  fuzz_summary "$name" "$WORK/$name/log" "$SECONDS_EACH"
  [[ -e "$WORK/$name/failed" || ! -s "$WORK/$name/log" ]] && failed+=("$name")
done

if [[ ${#failed[@]} -gt 0 ]]; then
  mkdir -p "$FUZZ_BUILD/findings"
  for name in "${failed[@]}"; do
    echo "== fuzz_$name found a fault:"
    grep -E -A40 '^==[0-9]+==ERROR|runtime error|^==[0-9]+== ERROR|ERROR: libFuzzer' "$WORK/$name/log" | head -n 60 || tail -n 40 "$WORK/$name/log"
    for artifact in "$WORK/$name"/crash-* "$WORK/$name"/leak-* "$WORK/$name"/timeout-* "$WORK/$name"/oom-*; do
      [[ -e "$artifact" ]] || continue
      cp "$artifact" "$FUZZ_BUILD/findings/${name}-${artifact##*/}"
      echo "input kept as $FUZZ_BUILD/findings/${name}-${artifact##*/}"
    done
  done
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
