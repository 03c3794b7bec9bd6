#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test.
#   scripts/test.sh             the usual build, in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
# The compiler cache serves any clone of the tree, wherever it lies.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1

bash scripts/setup.sh

dir=build
options=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  options=(-DUTQ_SANITIZE=ON)
fi

cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug "${options[@]}"
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure
