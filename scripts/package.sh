#!/usr/bin/env bash
# Builds the release programs and packs the installed folder into one archive for players:
# build-release/utquery-<version>-linux-x86_64.tar.gz.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build-release --target utquery utquery-console utquery-statusd utquery_runtime_files
(cd build-release && cpack -G TGZ >/dev/null)
ls build-release/utquery-*-linux-*.tar.gz
