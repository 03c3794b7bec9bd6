#!/usr/bin/env bash
# Installs the built programs into a temporary folder and checks that the folder works on its
# own: every library they load comes with the runtime packages of scripts/setup.sh, and each
# program starts from there, outside the build tree, on a display of its own (Xvfb): the main
# window and the console open, and utquery-statusd answers a start page over HTTP.
#   scripts/check-install.sh [BUILD_DIR]   (default build/, as scripts/test.sh leaves it)
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
# The main window's caption carries the clan tag the build was made with.
tag="$(sed -n 's/^UTQ_CLAN_TAG:STRING=//p' "$build/CMakeCache.txt")"

prefix="$(mktemp -d /tmp/utquery-install.XXXXXX)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in utquery utquery-console utquery-statusd utservers.ini ut04servers.ini ut3servers.ini utquery.ini \
  wickedsick.wav HellNo.wav mandown.wav utquery.svg install.sh setup.sh README.md; do
  [ -e "$prefix/$file" ] || { echo "FAIL: the install has no $file" >&2; exit 1; }
done
echo "Installed into $prefix: $(ls "$prefix" | tr '\n' ' ')"

# The libraries of the programs, the web engine's helper and the Qt plug-ins they load.
qt=/usr/lib/x86_64-linux-gnu/qt6/plugins
loaded=("$prefix/utquery" "$prefix/utquery-console" "$prefix/utquery-statusd"
  /usr/lib/qt6/libexec/QtWebEngineProcess "$qt"/platforms/libqxcb.so
  "$qt"/imageformats/libqsvg.so "$qt"/iconengines/libqsvgicon.so "$qt"/multimedia/*.so
  "$qt"/xcbglintegrations/*.so "$qt"/sqldrivers/libqsqlite.so "$qt"/sqldrivers/libqsqlpsql.so)
if ldd "${loaded[@]}" | grep -q "not found"; then
  ldd "${loaded[@]}" | grep "not found" >&2
  exit 1
fi
runtime="$(bash scripts/setup.sh --list-runtime)"
# shellcheck disable=SC2086
apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
  --no-replaces --no-enhances $runtime | grep -v '^ ' | sed 's/:.*$//' | sort -u >"$prefix/.closure"
# (dpkg -S fails for files of no package, which none of these libraries is meant to be.)
{ ldd "${loaded[@]}" | awk '/=>/ {print $3}' | sort -u | xargs -r readlink -f |
  xargs -r dpkg -S 2>/dev/null || true; } | cut -d: -f1 | sort -u >"$prefix/.needed"
outside="$(comm -23 "$prefix/.needed" "$prefix/.closure")"
if [ -n "$outside" ]; then
  echo "FAIL: the programs load libraries of packages outside the runtime list: $outside" >&2
  exit 1
fi
echo "Every library loaded comes with the runtime packages: $runtime"

# The install script: menu entries that point into the folder, and the ping capability.
export XDG_DATA_HOME="$prefix/.data"
"$prefix/install.sh"
for entry in utquery utquery-console; do
  file="$XDG_DATA_HOME/applications/$entry.desktop"
  grep -qxF "Exec=\"$prefix/$entry\"" "$file" || { echo "FAIL: $file does not start $entry" >&2; exit 1; }
  grep -qxF "Categories=Game;Network;" "$file"
  desktop-file-validate "$file"
done
"$prefix/install.sh" --uninstall >/dev/null
[ ! -e "$XDG_DATA_HOME/applications/utquery.desktop" ]
echo "install.sh added both menu entries and --uninstall took them away"

# Each program started from the install folder; the web engine's sandbox is off for root only.
cd "$prefix"
[ "$(id -u)" -eq 0 ] && export QTWEBENGINE_DISABLE_SANDBOX=1
# A display of its own: Xvfb tells the display's number once it is ready for clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$prefix/.display" 2>"$prefix/.xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$prefix"' EXIT
for _ in $(seq 1 300); do [ -s "$prefix/.display" ] && break; sleep 0.1; done
if [ ! -s "$prefix/.display" ]; then
  echo "FAIL: Xvfb gave no display within 30 s" >&2
  cat "$prefix/.xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$prefix/.display")"

opens() { # program window-title
  "$prefix/$1" >"$prefix/.$1.log" 2>&1 &
  local pid=$! shown=no
  for _ in $(seq 1 100); do
    if xwininfo -root -tree 2>/dev/null | grep -qF "\"$2\""; then shown=yes; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if [ "$shown" != yes ]; then
    echo "FAIL: $1 did not open its window \"$2\"" >&2
    cat "$prefix/.$1.log" >&2
    exit 1
  fi
  echo "$1 opened its window \"$2\""
}
opens utquery "Unreal Tournament Server Query v${tag}3.1 by: DelvoMan"
opens utquery-console "Unreal Tournament Server Administration"

port=$((20000 + RANDOM % 20000))
# A closed port of loopback as its master: the default masters are internet hosts.
"$prefix/utquery-statusd" "127.0.0.1:$port" --master 127.0.0.1:1 >"$prefix/.statusd.log" 2>&1 &
statusd=$!
page=""
for _ in $(seq 1 50); do
  page="$(curl -s --max-time 2 "http://127.0.0.1:$port/php/UTstats/lobby2.html" || true)"
  [ -n "$page" ] && break
  sleep 0.2
done
kill "$statusd" 2>/dev/null || true
wait "$statusd" 2>/dev/null || true
if ! grep -q "UT99 Server Query" <<<"$page"; then
  echo "FAIL: utquery-statusd did not answer its start page" >&2
  cat "$prefix/.statusd.log" >&2
  exit 1
fi
echo "utquery-statusd answered its start page on 127.0.0.1:$port"
