#!/usr/bin/env bash
# Builds the Debian package (dpkg-buildpackage -b -uc -us) from a copy of the working tree and
# puts vardelle_*.deb with its .buildinfo and .changes in dist/. The package build skips the
# tests and benchmarks (scripts/test.sh runs those) and uses every core.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

JOBS=$(nproc 2>/dev/null || echo 2)
export DEB_BUILD_OPTIONS="parallel=$JOBS nocheck ${DEB_BUILD_OPTIONS:-}"

# dpkg-buildpackage writes its results beside the source folder: build in a copy under
# build-deb/ so that nothing lands outside the repository (a fixed place, so that a compiler
# cache finds the same paths again).
work=$PWD/build-deb
rm -rf "$work"
mkdir -p "$work/vardelle"
tar -c --exclude=./.git --exclude='./build*' --exclude=./dist --exclude='./obj-*' \
    --exclude=./debian/vardelle --exclude=./debian/.debhelper --exclude=./debian/tmp . |
  tar -x -C "$work/vardelle"

(cd "$work/vardelle" && dpkg-buildpackage -b -uc -us)

mkdir -p dist
rm -f dist/vardelle_*.deb dist/vardelle-dbgsym_*.deb dist/vardelle_*.buildinfo dist/vardelle_*.changes
mv "$work"/*.deb "$work"/*.buildinfo "$work"/*.changes dist/
ls -l dist/
rm -rf "$work"
