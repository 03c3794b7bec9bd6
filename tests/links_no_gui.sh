#!/usr/bin/env bash
# links_no_gui.sh PROGRAM: fails when PROGRAM loads a GUI, X or GL library, so that a server
# without a desktop runs it with nothing of the kind installed.
set -euo pipefail
libraries="$(ldd "$1")"
gui="$(grep -E 'libQt6(Gui|Widgets|WebEngine|Multimedia|Svg|OpenGL|Xcb)|libX11|libxcb|libxkb|libEGL|libGLX|libGL\.|libOpenGL|libfontconfig|libfreetype' <<<"$libraries" || true)"
if [ -n "$gui" ]; then
  echo "FAIL: $1 loads GUI libraries:" >&2
  echo "$gui" >&2
  exit 1
fi
echo "$1 loads $(wc -l <<<"$libraries") libraries, none of a GUI, X or GL"
