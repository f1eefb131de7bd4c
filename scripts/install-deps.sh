#!/usr/bin/env bash
# Installs the Debian packages Vardelle needs to build and test, when they are missing.
# Runs apt-get as root, or through sudo when available.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build pkg-config
  clang libclang-rt-dev
  libcairo2-dev libplist-dev libicu-dev zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libxml2-utils desktop-file-utils shared-mime-info libglib2.0-bin
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  appstream xvfb xauth imagemagick
  dbus dosfstools mtools
  poppler-utils python3
  qtbase5-dev libkf5kio-dev libkf5filemetadata-dev
  debhelper dpkg-dev lintian libopenjp2-tools xdg-utils bash-completion
)

missing=()
for p in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "vardelle: these packages are missing: ${missing[*]}" >&2
  echo "vardelle: run this script as root (or install sudo) so it can apt-get install them." >&2
  exit 1
fi

echo "vardelle: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
