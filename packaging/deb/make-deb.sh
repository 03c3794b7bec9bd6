#!/usr/bin/env bash
# Makes the Debian package of utquery-statusd from a release build, beside its archive:
# BUILD_DIR/utquery-statusd_<version>_amd64.deb (scripts/package.sh calls it).
#   packaging/deb/make-deb.sh BUILD_DIR
# The version is CMake's project version, and this folder's changelog must start with it. A
# native package: the program and its packaging are made together, so there is no Debian
# revision. The files are laid out in BUILD_DIR/deb/root and packed by dpkg-deb; the
# libraries the program needs are read from the binary by dpkg-shlibdeps.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: make-deb.sh BUILD_DIR}" && pwd)"
umask 022

setting() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
fail() {
	echo "make-deb.sh: $*" >&2
	exit 1
}

version="$(setting CMAKE_PROJECT_VERSION)"
[ -n "$version" ] || fail "$build/CMakeCache.txt has no project version"
logged="$(sed -n '1s/^utquery-statusd (\([^)]*\)).*/\1/p' "$here/changelog")"
[ "$logged" = "$version" ] ||
	fail "packaging/deb/changelog starts with $logged, not the program's version $version: add an entry"
# The clan's build names the maintainer: its tag, and a mail address at its web site's domain.
tag="$(setting UTQ_CLAN_TAG | tr -cd 'A-Za-z0-9{}()[]._ -')"
domain="$(setting UTQ_SITE_HOST | tr -cd 'A-Za-z0-9.-')"
domain="${domain#www.}"
maintainer="${tag:+$tag }UT Server Query maintainers <utquery@${domain:-localhost.localdomain}>"
# The manual's date is the changelog's.
date="$(date -u -d "$(sed -n 's/^ -- .*>  //p' "$here/changelog" | head -n1)" +%Y-%m-%d)"

program="$build/bin/utquery-statusd"
[ -x "$program" ] || program="$build/bin/Release/utquery-statusd" # multi-config generators
[ -x "$program" ] || fail "no utquery-statusd in $build/bin: build the release programs first"

work="$build/deb"
root="$work/root"
doc="$root/usr/share/doc/utquery-statusd"
rm -rf "$work"
mkdir -p "$root/DEBIAN" "$doc"

# dh_strip's way: no symbols, no compiler comments.
install -D -m 0755 "$program" "$root/usr/sbin/utquery-statusd"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$root/usr/sbin/utquery-statusd"
install -D -m 0644 "$here/utquery-statusd.service" "$root/lib/systemd/system/utquery-statusd.service"
install -D -m 0644 "$here/utquery-statusd.default" "$root/etc/default/utquery-statusd"
mkdir -p "$root/usr/share/man/man8"
sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$date/g" "$here/utquery-statusd.8" |
	gzip -9n >"$root/usr/share/man/man8/utquery-statusd.8.gz"
sed "s/@MAINTAINER@/$maintainer/g" "$here/copyright" >"$doc/copyright"
sed "s/@MAINTAINER@/$maintainer/g" "$here/changelog" | gzip -9n >"$doc/changelog.gz"
chmod 0644 "$root/usr/share/man/man8/utquery-statusd.8.gz" "$doc/copyright" "$doc/changelog.gz"

# The libraries the binary is linked with, each at the version it needs.
mkdir -p "$work/shlibs/debian"
printf 'Source: utquery-statusd\n\nPackage: utquery-statusd\nArchitecture: amd64\n' \
	>"$work/shlibs/debian/control"
shlibs="$(cd "$work/shlibs" && dpkg-shlibdeps -O "$root/usr/sbin/utquery-statusd")"
shlibs="${shlibs#shlibs:Depends=}"
[ -n "$shlibs" ] || fail "dpkg-shlibdeps found no libraries"
# Qt loads its SQL drivers at run time, so dpkg-shlibdeps cannot see them: SQLite holds the
# service's default history; PostgreSQL is only for a postgresql:// history.
depends="$shlibs, libqt6sql6-sqlite"
recommends="libqt6sql6-psql"

install -m 0644 "$here/conffiles" "$root/DEBIAN/conffiles"
install -m 0755 "$here/postinst" "$here/prerm" "$here/postrm" "$root/DEBIAN/"
size="$(du -sk --exclude=DEBIAN "$root" | cut -f1)"
sed -e "s/@VERSION@/$version/" -e "s/@MAINTAINER@/$maintainer/" -e "s/@INSTALLED_SIZE@/$size/" \
	-e "s/@DEPENDS@/$depends/" -e "s/@RECOMMENDS@/$recommends/" -e "s/@SITE_HOST@/$(setting UTQ_SITE_HOST | tr -cd 'A-Za-z0-9.-')/" \
	"$here/control.in" >"$root/DEBIAN/control"
# Checksums of every file but the conffiles, whose own dpkg keeps.
(cd "$root" && find . -path ./DEBIAN -prune -o -type f -print | sed 's|^\./||' | LC_ALL=C sort |
	grep -vxF -f <(sed 's|^/||' DEBIAN/conffiles) | xargs -d '\n' md5sum >DEBIAN/md5sums)
chmod 0644 "$root/DEBIAN/md5sums"

package="$build/utquery-statusd_${version}_amd64.deb"
dpkg-deb --build --root-owner-group -Zxz "$root" "$package" >/dev/null
echo "$package"
