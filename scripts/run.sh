#!/usr/bin/env bash
# Sets up the machine, builds the programs and starts the main window; arguments go to it.
# UTQ_RUN_BUILD_ONLY=1 stops before starting it, with the programs built and ready in build/bin
# (scripts/check-readme.sh checks the README's run command so, without a window).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug
cmake --build build --target utquery utquery-console

# Ping sends ICMP echo requests. Like the system's own ping, the program may be given the one
# capability that raw ICMP sockets need; a relink drops it, so it is set after every build.
if ! getcap build/bin/utquery 2>/dev/null | grep -q cap_net_raw; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" setcap cap_net_raw+ep build/bin/utquery ||
    echo "Note: could not give build/bin/utquery the cap_net_raw capability; see README, Ping." >&2
fi
if [ "${UTQ_RUN_BUILD_ONLY:-0}" = 1 ]; then exit 0; fi
exec build/bin/utquery "$@"
