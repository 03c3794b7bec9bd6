#!/usr/bin/env bash
# Installs every Debian package that building, testing and running the program need.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  cmake g++ ninja-build ccache clang-format pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  qt6-httpserver-dev qt6-websockets-dev qt6-multimedia-dev qt6-svg-dev
  libqt6svg6 qt6-qpa-plugins libgl-dev libxkbcommon-dev libvulkan-dev
  fonts-dejavu-core fonts-wine xdg-utils iproute2 iputils-ping libcap2-bin
  qstat  # the peer tool the benchmarks time against
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
