#!/usr/bin/env bash
# Takes the README's pictures of the real windows, offscreen, and checks each one.
#   scripts/screenshots.sh [OUTPUT_DIR]   (docs/screenshots by default)
set -euo pipefail
cd "$(dirname "$0")/.."

out=${1:-docs/screenshots}
mkdir -p "$out"

bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Debug
cmake --build build --target utquery-screenshots

# Web views need Chromium's sandbox off when this runs as root, as it does in CI. The program
# bounds its own run; the outer limit is for a web engine that never returns at all.
QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
  timeout --kill-after=10 120 build/tests/utquery-screenshots "$out"
