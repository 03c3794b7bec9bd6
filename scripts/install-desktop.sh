#!/usr/bin/env bash
# Makes the unpacked program folder this script sits in ready to use: installs the Debian
# packages the programs need, adds "UT Server Query" and its server console to the desktop's
# menu, and lets the program ping.
#   ./install.sh              do all that
#   ./install.sh --uninstall  take the menu entries away again (the folder stays)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
applications="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
entries=(utquery.desktop utquery-console.desktop)

if [ "${1:-}" = "--uninstall" ]; then
  for entry in "${entries[@]}"; do rm -f "$applications/$entry"; done
  echo "Removed the menu entries from $applications."
  exit 0
fi

for program in utquery utquery-console utquery-statusd; do
  if [ ! -x "$here/$program" ]; then
    echo "install.sh: $here/$program is missing; run this script from the unpacked folder." >&2
    exit 1
  fi
done

bash "$here/setup.sh" --runtime

# One menu entry per window program, pointing at this folder.
mkdir -p "$applications"
write_entry() { # file name comment executable
  cat > "$applications/$1" <<ENTRY
[Desktop Entry]
Type=Application
Name=$2
Comment=$3
Exec="$here/$4"
Path=$here
Icon=$here/utquery.svg
Terminal=false
Categories=Game;Network;
ENTRY
}
write_entry utquery.desktop "UT Server Query" \
  "Live status of Unreal Tournament servers, favourites, ping and launch" utquery
write_entry utquery-console.desktop "UT Server Query Console" \
  "Watch and control a local UT99 dedicated server" utquery-console
command -v update-desktop-database >/dev/null && update-desktop-database -q "$applications" || true
echo "Added \"UT Server Query\" and \"UT Server Query Console\" to the menu ($applications)."

# Ping's raw ICMP socket needs the one capability the system's own ping has.
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
if "${as_root[@]}" setcap cap_net_raw+ep "$here/utquery" cap_net_raw+ep "$here/utquery-console" 2>/dev/null; then
  echo "Gave utquery and utquery-console the cap_net_raw capability: Ping works for every user."
else
  echo "Could not give the programs the cap_net_raw capability (no setcap, or a file system" \
    "without capabilities). Ping then needs net.ipv4.ping_group_range; see README.md, Ping."
fi
