#!/usr/bin/env bash
# Runs the README's own commands as it writes them, so that neither can break unseen, and
# checks what they made:
#   - the run command (the block after "<!-- check-readme: run -->"), with UTQ_RUN_BUILD_ONLY=1
#     so that run.sh stops before starting the window: build/bin must hold both programs,
#     the three favourites files and the three sounds;
#   - CMake's default generator (Unix Makefiles) on its own, in a scratch folder: it must
#     build the programs' runtime files too;
#   - the clan recipe (the block after "<!-- check-readme: clan-recipe -->"): the archive must
#     exist and carry the recipe's settings.
# Each runs in a fresh copy of the source tree, as a new clone has it (build folders left out,
# uncommitted edits kept), so that nothing built before hides a fault and the folders here,
# build-release/ among them, stay as they are. The copy is deleted after a pass; after a
# failure it stays for a look, but without the archive. It takes a Debug and a Release build.
#   scripts/check-readme.sh
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
copy=$repo/build-readme-check # the /build*/ of .gitignore keeps it out of the copy and of git
src=$copy/src
started=$SECONDS

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The lines of the indented code block after a marker, without their four spaces of indent.
block() { # marker-name
  awk -v mark="<!-- check-readme: $1 -->" '
    $0 == mark { found++; next }
    found == 1 && !done {
      if (substr($0, 1, 4) == "    ") { print substr($0, 5); started = 1; next }
      if ($0 == "") next # blank lines around (or inside) the block
      done = 1
    }
    END { exit found == 1 && started ? 0 : 1 }' "$src/README.md" ||
    fail "README.md has no code block after one (and only one) <!-- check-readme: $1 -->"
}

# A README block, in the copy's top folder, as a script of its own, bounded in time.
run_block() { # marker-name seconds
  local script=$copy/$1.sh
  { echo 'set -euo pipefail'; block "$1"; } >"$script"
  echo "== README's $1, as written:" >&2
  block "$1" | sed 's/^/    /' >&2
  (cd "$src" && timeout -k 10 "$2" bash "$script") || fail "the README's $1 failed (exit $?)"
}

since() { echo "$((SECONDS - $1)) s"; }

rm -rf "$copy"
mkdir -p "$src"
# After a pass nothing is left; after a failure the copy stays, but no archive with the
# recipe's password does.
trap 'rm -f "$src"/build-release/utquery-*.tar.gz' EXIT
# What a clone would hold: the tracked files (as they are now) and new ones git does not ignore.
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do if [ -e "$file" ]; then printf '%s\0' "$file"; fi; done |
  tar -cf - --null -T - | tar -xf - -C "$src"
# The compiler cache then takes paths below this folder as relative ones, and leaves the build
# folder out of debug objects' keys, so the copy's builds reuse what scripts/test.sh and
# scripts/package.sh left in it here (the copy's debug information names this folder's paths).
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$repo}" CCACHE_NOHASHDIR=1

# The run command: built in build/ and ready, not started.
step=$SECONDS
UTQ_RUN_BUILD_ONLY=1 run_block run 2700
for file in utquery utquery-console; do
  [ -x "$src/build/bin/$file" ] || fail "the run command left no program build/bin/$file"
done
for file in utservers.ini ut04servers.ini ut3servers.ini; do
  cmp -s "$src/build/defaults/$file" "$src/build/bin/$file" ||
    fail "the run command left build/bin/$file missing or unlike the first-install copy"
done
for file in wickedsick.wav HellNo.wav mandown.wav; do
  cmp -s "$src/assets/$file" "$src/build/bin/$file" ||
    fail "the run command left build/bin/$file missing or unlike assets/$file"
done
echo "The run command built both programs and placed their six files in build/bin ($(since "$step"))"

# CMake's default generator, whatever the environment would choose instead.
step=$SECONDS
(cd "$src" && env -u CMAKE_GENERATOR cmake -S . -B build-default >"$copy/default.log" 2>&1 &&
  cmake --build build-default --target utquery_runtime_files >>"$copy/default.log" 2>&1) || {
  tail -n 20 "$copy/default.log" >&2
  fail "CMake's default generator did not build the runtime files; see $copy/default.log"
}
generator=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$src/build-default/CMakeCache.txt")
[ "$generator" = "Unix Makefiles" ] || fail "the default generator was $generator, not Unix Makefiles"
for file in utservers.ini ut04servers.ini ut3servers.ini wickedsick.wav HellNo.wav mandown.wav; do
  [ -s "$src/build-default/bin/$file" ] || fail "Unix Makefiles placed no bin/$file"
done
echo "Unix Makefiles, CMake's default, built the runtime files ($(since "$step"))"

# The clan recipe: a release archive with the recipe's settings.
step=$SECONDS
run_block clan-recipe 3600
shopt -s nullglob
archives=("$src"/build-release/utquery-*-linux-*.tar.gz)
shopt -u nullglob
[ ${#archives[@]} -eq 1 ] || fail "the clan recipe left ${#archives[@]} archives in build-release/, not one"
unpacked=$copy/unpacked
mkdir -p "$unpacked"
tar -xzf "${archives[0]}" -C "$unpacked"
folder=("$unpacked"/*)
for file in utquery utquery-console utquery-statusd utservers.ini install.sh README.md; do
  [ -e "${folder[0]}/$file" ] || fail "the archive has no $file"
done
# Each -DNAME=value of the recipe, its words split and unquoted as the shell does for plain
# quoting, is in build-release's settings; the US host is in the archive's UT99 favourites.
settings=0
while IFS= read -r word; do
  [[ $word =~ ^-D([A-Za-z_][A-Za-z0-9_]*)(:[A-Z]+)?=(.*)$ ]] || continue
  name=${BASH_REMATCH[1]} value=${BASH_REMATCH[3]}
  have=$(sed -n "s/^$name:[A-Z]*=//p" "$src/build-release/CMakeCache.txt")
  [ "$have" = "$value" ] || fail "build-release has $name=$have, not the recipe's $value"
  if [ "$name" = UTQ_US_HOST ]; then
    grep -qF "$value" "${folder[0]}/utservers.ini" ||
      fail "the archive's utservers.ini does not name the recipe's US host $value"
  fi
  settings=$((settings + 1))
done < <(block clan-recipe | sed -e ':a' -e '/\\$/{N;s/\\\n//;ba' -e '}' | xargs -n1 printf '%s\n')
[ "$settings" -gt 0 ] || fail "the clan recipe sets nothing: no -DNAME=value in it"
echo "The clan recipe packed $(basename "${archives[0]}") with its $settings settings ($(since "$step"))"

trap - EXIT
rm -rf "$copy"
echo "The README's commands work as written ($(since "$started") in all)"
