#!/usr/bin/env bash
# Installs the Debian packages the program needs. Safe to run again: it installs only what is
# missing.
#   scripts/setup.sh            everything for building, testing and running (the default)
#   scripts/setup.sh --runtime  only what the installed programs need to run
set -euo pipefail

# What the programs load at run time; the package manager brings in the rest.
runtime=(
  libqt6widgets6 libqt6network6 libqt6svg6 libqt6multimedia6
  libqt6webenginewidgets6 libqt6webenginecore6-bin qt6-qpa-plugins
  fonts-dejavu-core fonts-wine xdg-utils libcap2-bin libc-ares2
  libqt6sql6-sqlite libqt6sql6-psql
)

build=(
  cmake g++ ninja-build make ccache clang-format pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  qt6-multimedia-dev qt6-svg-dev libc-ares-dev
  libgl-dev libxkbcommon-dev libvulkan-dev
  iproute2 iputils-ping  # network namespaces and the system ping, for tests and benchmarks
  qstat                  # the peer tool the benchmarks time against
  postgresql             # a real database server for the history's tests and benchmark
  xvfb x11-utils curl desktop-file-utils  # the install check: a display, its windows, HTTP, menu entries
  dpkg-dev lintian man-db systemd  # the service's Debian package: its libraries, lintian, the unit's checks
)

packages=("${runtime[@]}")
if [ "${1:-}" = "--runtime" ]; then
  :
elif [ "${1:-}" = "--list-runtime" ]; then
  echo "${runtime[*]}"
  exit 0
else
  packages+=("${build[@]}")
fi

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
