# Shared by scripts/fuzz.sh and scripts/fuzz-ci.sh (sourced, not run): builds the libFuzzer
# configuration and runs one target.

FUZZ_BUILD=${VARDELLE_FUZZ_BUILD:-build-fuzz}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export VARDELLE_RESOURCES="$PWD/resources"

# Configures (clang, AddressSanitizer + UndefinedBehaviorSanitizer) and builds every fuzz target.
fuzz_build() {
  if [[ ! -f "$FUZZ_BUILD/CMakeCache.txt" ]]; then
    CC=${FUZZ_CC:-clang} CXX=${FUZZ_CXX:-clang++} cmake -S . -B "$FUZZ_BUILD" -G Ninja \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARDELLE_FUZZ=ON -DVARDELLE_SANITIZE=ON >/dev/null
  fi
  cmake --build "$FUZZ_BUILD" -j "$(nproc 2>/dev/null || echo 2)"
}

# The names of the fuzz targets (fuzz_dst.cpp -> dst), or those given.
fuzz_targets() {
  if [[ $# -gt 0 ]]; then
    printf '%s\n' "$@"
  else
    for src in tests/fuzz/fuzz_*.cpp; do
      local name=${src##*/fuzz_}
      echo "${name%.cpp}"
    done
  fi
}

# The -dict= option of a target that has a dictionary (tests/fuzz/<name>.dict), else nothing.
fuzz_dict() {
  [[ -e "tests/fuzz/$1.dict" ]] && echo "-dict=tests/fuzz/$1.dict" || true
}

# One line from a libFuzzer log: executions, coverage (edges), features, corpus entries.
fuzz_summary() {
  local name=$1 log=$2 seconds=$3
  local last
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  local execs cov ft corp
  execs=$(sed -E 's/^#([0-9]+).*/\1/' <<<"$last")
  cov=$(grep -oE 'cov: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || true)
  ft=$(grep -oE 'ft: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || true)
  corp=$(grep -oE 'corp: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || true)
  printf '%-14s %6ss  %12s execs  cov %6s  ft %7s  corpus %6s\n' \
    "$name" "$seconds" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}"
}
