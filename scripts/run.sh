#!/usr/bin/env bash
# Installs what is missing, builds (incrementally) and shows a bundled sample design.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target vardelle-cli
export VARDELLE_RESOURCES="$PWD/resources"
sample="resources/samples/flower.dst"
build/vardelle-cli info "$sample"
