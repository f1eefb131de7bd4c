#!/usr/bin/env bash
# Installs what is missing, builds (incrementally) and opens the bundled sample design in the
# application. Without a display it says so and prints the design's summary instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target vardelle vardelle-cli
export VARDELLE_RESOURCES="$PWD/resources"
sample="resources/samples/flower.pes"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "vardelle: no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so the application cannot open a window."
  echo "vardelle: run this script in a desktop session, or 'bash scripts/screenshots.sh' to see it under Xvfb."
  echo "vardelle: the sample's summary from vardelle-cli instead:"
  echo
  exec build/vardelle-cli info "$sample"
fi
exec build/vardelle "$sample"
