#!/usr/bin/env bash
# Checks the Debian package of utquery-statusd as an administrator meets it:
#   - scripts/package.sh makes it in build-release/ (a build-release/ that exists is reused,
#     so only what changed is built again);
#   - lintian reports no error and no warning (its notes are printed);
#   - its systemd unit passes `systemd-analyze verify`, and `systemd-analyze security` rates its
#     exposure 2.0 or lower;
#   - `apt-get install ./…deb` installs it with its program, manual, unit and defaults file
#     (the service is enabled; where systemd runs it is also started);
#   - `apt-get remove` keeps the defaults file and the history under /var/lib, `apt-get purge`
#     takes the defaults file and the unit's enablement away and keeps the history.
# Needs root. The package is purged at the end, even after a failure, and a /var/lib folder
# this check made is removed; one that was there before is left as it was.
#   scripts/check-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "check-package.sh installs a package: run it as root" >&2; exit 1; }

fail() {
	echo "FAIL: $*" >&2
	exit 1
}
state=/var/lib/utquery-statusd
private=/var/lib/private/utquery-statusd
defaults=/etc/default/utquery-statusd
unit=/lib/systemd/system/utquery-statusd.service
wants=/etc/systemd/system/multi-user.target.wants/utquery-statusd.service

# Whatever happens, the machine is left as found: the package purged, a /var/lib folder this
# check made removed (one that was there before stays as it was), temporary folders gone.
root="" copy="" installing=no state_was_there=no private_was_there=no
{ [ -e "$state" ] || [ -L "$state" ]; } && state_was_there=yes
[ -e "$private" ] && private_was_there=yes
cleanup() {
	rm -rf "$root" "$copy"
	[ "$installing" = yes ] || return 0
	DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq utquery-statusd >/dev/null 2>&1 || true
	[ "$state_was_there" = yes ] || rm -rf "$state"
	[ "$private_was_there" = yes ] || rm -rf "$private"
}
trap cleanup EXIT

if dpkg-query -W -f='${Status}' utquery-statusd 2>/dev/null | grep -qv 'not-installed'; then
	fail "utquery-statusd is installed on this machine already; this check would purge it"
fi

# As in check-readme.sh: the compiler cache takes paths below this folder as relative ones, so
# the release build reuses what the README's clan recipe built in its copy of the tree.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
started=$SECONDS
bash scripts/package.sh >/dev/null
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-release/CMakeCache.txt)"
deb="$PWD/build-release/utquery-statusd_${version}_amd64.deb"
[ -f "$deb" ] || fail "scripts/package.sh made no $deb"
echo "== $(basename "$deb") made in $((SECONDS - started)) s: $(du -k "$deb" | cut -f1) KiB"
dpkg-deb -f "$deb" Depends Recommends

echo "== lintian"
lintian --display-level '>=info' --fail-on error,warning "$deb" 2>&1 |
	{ grep -v '^running with root privileges' || true; } || fail "lintian reports errors or warnings (above)"

echo "== systemd-analyze"
staged="$PWD/build-release/deb/root"
# verify loads the unit as systemd would, in a root of its own: the package's files with
# this machine's units beside them (the targets it is ordered after and wanted by). Its
# ExecStart program must be there, and man must find its Documentation= manual.
root="$(mktemp -d /tmp/utquery-statusd-root.XXXXXX)"
cp -a "$staged/." "$root/"
cp -a /lib/systemd/system/. "$root/lib/systemd/system/"
MANPATH="$root/usr/share/man" systemd-analyze verify --root="$root" "$unit" >"$root/verify.log" 2>&1 || true
if [ -s "$root/verify.log" ]; then
	cat "$root/verify.log" >&2
	fail "systemd-analyze verify has objections (above)"
fi
echo "systemd-analyze verify has no objections"
security="$(systemd-analyze security --offline=yes "$staged$unit" 2>&1)"
exposure="$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' <<<"$security")"
[ -n "$exposure" ] || { echo "$security" >&2; fail "systemd-analyze security gave no exposure level"; }
echo "Overall exposure $exposure (at most 2.0); what is left:"
grep '✗' <<<"$security" | sed 's/  */ /g; s/^/    /'
awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' || fail "the unit's exposure $exposure is above 2.0"

echo "== apt-get install ./$(basename "$deb")"
# A copy that apt's own unprivileged user may read, so that apt need not warn about it.
copy="$(mktemp -d /tmp/utquery-statusd-deb.XXXXXX)"
chmod 755 "$copy"
install -m 0644 "$deb" "$copy/"
installing=yes
apt_get() { # apt-get's words, shown only when it fails
	DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >"$copy/apt.log" 2>&1 || {
		cat "$copy/apt.log" >&2
		return 1
	}
}
apt_get install "$copy/$(basename "$deb")" || fail "apt-get could not install the package"
[ -x /usr/sbin/utquery-statusd ] || fail "no /usr/sbin/utquery-statusd"
said="$(/usr/sbin/utquery-statusd --version 2>&1)" && status=0 || status=$?
[ "$status" -eq 0 ] && [ "$said" = "utquery-statusd $version" ] ||
	fail "utquery-statusd --version said \"$said\" (exit $status), not \"utquery-statusd $version\""
[ -f "$unit" ] || fail "no $unit"
manual="$(man -w utquery-statusd)" || fail "man finds no utquery-statusd manual"
[ "$manual" = /usr/share/man/man8/utquery-statusd.8.gz ] || fail "man found $manual"
grep -qx 'UTQUERY_STATUSD_OPTIONS="127.0.0.1:8080"' "$defaults" || fail "$defaults does not listen on 127.0.0.1:8080"
[ -L "$wants" ] || fail "the install did not enable the service ($wants)"
echo "Installed: the program, $unit (enabled), $manual and $defaults"

# What the service would have left: its history.
mkdir -p "$state"
echo "kept" >"$state/check-package.sqlite"
apt_get remove utquery-statusd || fail "apt-get remove failed"
[ ! -e /usr/sbin/utquery-statusd ] || fail "remove left the program"
[ "$(cat "$state/check-package.sqlite" 2>/dev/null)" = kept ] || fail "remove took the history in $state"
[ -f "$defaults" ] || fail "remove took $defaults, a conffile"
echo "Removed: the program went, $defaults and the history in $state stayed"

apt_get purge utquery-statusd || fail "apt-get purge failed"
[ ! -e "$defaults" ] || fail "purge left $defaults"
[ ! -L "$wants" ] || fail "purge left the service enabled ($wants)"
[ ! -L /etc/systemd/system/utquery-statusd.service ] || fail "purge left the service masked"
[ "$(cat "$state/check-package.sqlite" 2>/dev/null)" = kept ] || fail "purge took the history in $state"
rm -f "$state/check-package.sqlite"
echo "Purged: $defaults and the enablement went, the history in $state stayed"
echo "The Debian package installs, removes and purges as it should"
