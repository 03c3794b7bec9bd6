#!/usr/bin/env bash
# Builds the release programs and packs the installed folder into one archive for players:
# build-release/utquery-<version>-linux-x86_64.tar.gz; and the status service as a Debian
# package for the clan's server: build-release/utquery-statusd_<version>_amd64.deb
# (packaging/deb/).
#   scripts/package.sh [CMAKE_OPTION...]   e.g. -DUTQ_US_HOST=ut.myclan.org (README, For clans)
# The options go to cmake as given. A new build-release/ is made with Ninja; one that exists
# keeps its generator and its settings (a folder an IDE or a user made with Unix Makefiles
# packs too, since cmake refuses to change a folder's generator). --config and -C choose the
# release build where the generator holds several (Ninja Multi-Config); others ignore them.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
dir=build-release
generator=()
[ -f "$dir/CMakeCache.txt" ] || generator=(-G Ninja)
cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release "$@"
# Make builds one job at a time unless told; a bare --parallel would let it start unboundedly many.
cmake --build "$dir" --config Release --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" \
  --target utquery utquery-console utquery-statusd utquery_runtime_files
(cd "$dir" && cpack -G TGZ -C Release >/dev/null)
ls "$dir"/utquery-*-linux-*.tar.gz
bash packaging/deb/make-deb.sh "$dir"
