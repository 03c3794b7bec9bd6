#!/usr/bin/env bash
# Builds the libFuzzer programs of fuzz/ with clang (in build-fuzz/) and runs each one for a
# bounded time, starting from its seeds in fuzz/corpus/NAME/. Fails when any of them crashes,
# leaks, hits undefined behaviour or runs too long on one input.
#   scripts/fuzz.sh [seconds-per-target]   30 seconds each unless told
# New corpus entries go to a temporary folder; an input that breaks a parser is kept as
# build-fuzz/artifacts/NAME/crash-... (or leak-, timeout-...), to re-run with
# build-fuzz/NAME FILE.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [seconds-per-target]" >&2
  exit 2
fi

bash scripts/setup.sh

dir=build-fuzz
cmake -S fuzz -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$dir"

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
while read -r target; do
  [ -n "$target" ] || continue
  mkdir -p "$corpus/$target" "$dir/artifacts/$target"
  seeds=()
  [ -d "fuzz/corpus/$target" ] && seeds=("fuzz/corpus/$target")
  echo "== $target: ${seconds} s"
  if ! "$dir/$target" -max_total_time="$seconds" -max_len=4096 -timeout=5 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$dir/artifacts/$target/" \
    "$corpus/$target" "${seeds[@]}"; then
    failed+=("$target")
  fi
done <"$dir/fuzz-targets.txt"

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzzing failed: ${failed[*]} (inputs in $dir/artifacts/)" >&2
  exit 1
fi
echo "Fuzzing passed: $(paste -sd' ' "$dir/fuzz-targets.txt"), ${seconds} s each"
