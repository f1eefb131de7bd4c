#!/usr/bin/env bash
# Installs what is missing, builds (incrementally) and runs every test twice: a normal build,
# and one with AddressSanitizer + UndefinedBehaviorSanitizer; then the fuzz stage.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

JOBS=$(nproc 2>/dev/null || echo 2)
export VARDELLE_RESOURCES="$PWD/resources"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
  ctest --test-dir "$dir" -j "$JOBS" --output-on-failure
}

echo "== normal build"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARDELLE_BENCH=ON
echo "== ASan + UBSan build"
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DVARDELLE_SANITIZE=ON -DVARDELLE_BENCH=OFF

# ---- Debian package stage: build the package, install it, use it as a desktop does, remove it.
echo "== Debian package"
bash scripts/test-package.sh
# ---- end of the Debian package stage

# ---- fuzz stage: libFuzzer build with clang, corpus replay, a short run of every target ----
echo "== fuzz build and short fuzzing"
bash scripts/fuzz-ci.sh
# ---- end of fuzz stage ----
