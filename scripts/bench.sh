#!/usr/bin/env bash
# Builds the bench programs of bench/ optimised (in build-release/), runs each one and prints
# one table of their figures: figure | goal | measured | met. Everything else they print goes
# to build-release/bench.log. A program that fails or cannot run gets a row that says so; the
# exit status is non-zero only when the build fails or a program crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C.UTF-8 # column widths are counted in characters

dir=build-release
log=$dir/bench.log
started=$SECONDS
mkdir -p "$dir"
: >"$log"
echo "Building in $dir/; all output but this table goes to $log" >&2

build() {
  bash scripts/setup.sh
  # A build-release/ made before (scripts/package.sh, or by hand) keeps its generator.
  local generator=()
  [ -f "$dir/CMakeCache.txt" ] || generator=(-G Ninja)
  cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$dir" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" --target bench_window_side_by_side bench_ping_loopback bench_status_pages bench_status_render \
    bench_statusd_load bench_start_pages bench_server_list bench_history
}
if ! build >>"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "The build failed; see $log" >&2
  exit 1
fi

# Today's window, for the window's figures side by side: this bench built with the sources of
# the last commit before the hidden tabs' pages rested and the list page drew in place.
today_commit=1451b7c
today=$dir/today
build_today() {
  rm -rf "$today/src"
  mkdir -p "$today/src"
  git archive "$today_commit" | tar -x -C "$today/src"
  rm -rf "$today/src/bench"
  cp -r bench "$today/src/bench"
  local generator=()
  [ -f "$today/build/CMakeCache.txt" ] || generator=(-G Ninja)
  cmake -S "$today/src" -B "$today/build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$today/build" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" --target bench_window_startup
}
window_today=()
echo "Building today's window ($today_commit) in $today/" >&2
if build_today >>"$log" 2>&1; then
  window_today=(--today "$today/build/bench/bench_window_startup")
else
  echo "Today's window could not be built; the window's bench stands in for it itself" >&2
fi

# Program, the most seconds it may take (each bounds its own loops well below that), and its
# arguments.
programs=(
  "bench_window_side_by_side 660 ${window_today[*]}"
  "bench_ping_loopback 90"
  "bench_status_pages 150"
  "bench_status_render 60"
  "bench_statusd_load 700"
  "bench_start_pages 90"
  "bench_server_list 180"
  "bench_history 300"
)

figures=() goals=() measured=() met=()
row() { figures+=("$1") goals+=("$2") measured+=("$3") met+=("$4"); }

crashed=0
out=$(mktemp)
trap 'rm -f "$out"' EXIT
for entry in "${programs[@]}"; do
  read -r -a words <<<"$entry"
  program=${words[0]} seconds=${words[1]} arguments=("${words[@]:2}")
  echo "Running $program (at most $seconds s)" >&2
  rc=0 begun=$SECONDS
  # The web views run offscreen and without Chromium's sandbox, as in the tests.
  QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
    timeout -k 10 "$seconds" "$dir/bench/$program" "${arguments[@]}" >"$out" 2>&1 || rc=$?
  { echo "== $program, exit status $rc"; cat "$out"; echo; } >>"$log"

  rows=0
  while IFS='|' read -r _ figure goal value verdict; do
    row "$figure" "$goal" "$value" "$verdict"
    rows=$((rows + 1))
  done < <(grep '^summary|' "$out" || true)

  # timeout ends with 124, or 137 when the program needed its KILL too.
  if [ "$rc" -eq 124 ] || { [ "$rc" -eq 137 ] && [ $((SECONDS - begun)) -ge "$seconds" ]; }; then
    row "$program" "-" "timed out after $seconds s" "no"
  elif [ "$rc" -gt 128 ]; then
    row "$program" "-" "crashed ($(kill -l $((rc - 128)) 2>/dev/null || echo "status $rc"))" "no"
    crashed=1
  elif [ "$rc" -ne 0 ]; then
    row "$program" "-" "failed with exit status $rc" "no"
  elif [ "$rows" -eq 0 ]; then
    row "$program" "-" "printed no figures" "no"
  fi
done

# The widest cell of a column, in characters (the goals hold a few non-ASCII ones).
widest() {
  local w=0 cell
  for cell in "$@"; do
    if [ ${#cell} -gt $w ]; then w=${#cell}; fi
  done
  echo "$w"
}
w1=$(widest figure "${figures[@]}") w2=$(widest goal "${goals[@]}")
w3=$(widest measured "${measured[@]}")
pad() { printf '%s%*s' "$1" $(($2 - ${#1})) ''; }
line() { echo "$(pad "$1" "$w1") | $(pad "$2" "$w2") | $(pad "$3" "$w3") | $4"; }
rule() { printf '%*s' "$1" '' | tr ' ' -; }
echo
line figure goal measured met
line "$(rule "$w1")" "$(rule "$w2")" "$(rule "$w3")" "---"
for ((r = 0; r < ${#figures[@]}; r++)); do
  line "${figures[r]}" "${goals[r]}" "${measured[r]}" "${met[r]}"
done
echo
echo "Whole run $((SECONDS - started)) s; the programs' own output is in $log"
exit "$crashed"
