#!/usr/bin/env bash
# Installs the Debian packages Karto needs to build, test and benchmark.
# Idempotent and quick when everything is present: apt is only called for
# packages that are missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev libgl-dev zlib1g-dev libturbojpeg0-dev libdeflate-dev
  libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev
  xvfb xauth
  fontconfig fonts-dejavu-core desktop-file-utils
  librsvg2-bin libvips-tools potrace time
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
