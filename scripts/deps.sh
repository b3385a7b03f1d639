#!/usr/bin/env bash
# Installs the Debian packages that are missing for building, testing and
# running the viewer. Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-image-formats-plugins libgl-dev
  libgtest-dev libbenchmark-dev libxcb1-dev libjpeg62-turbo-dev zlib1g-dev
  libheif-dev libraw-dev libseccomp-dev libexpat1-dev
  fonts-noto-cjk qt6-translations-l10n
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
