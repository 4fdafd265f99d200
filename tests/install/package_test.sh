#!/usr/bin/env bash
# The Debian package: built with CPack from the build tree, its contents and
# dependencies as a sysop installs them, unpacked into a scratch root (never
# into this machine's system) where its vurel runs, and clean under lintian.
set -euo pipefail
build_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cpack -G DEB --config "$build_dir/CPackConfig.cmake" >/dev/null 2>&1)
deb=$(ls "$work"/vurel_2.1-1_*.deb)
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -v '/$' | sort)
expected="./etc/vurel.conf
./usr/bin/vurel
./usr/share/doc/vurel/README.md
./usr/share/doc/vurel/changelog.Debian.gz
./usr/share/doc/vurel/copyright
./usr/share/doc/vurel/doc/session.svg
./usr/share/man/man1/vurel.1.gz"
if [ "$contents" != "$expected" ]; then
  echo "package contents:"; echo "$contents"; exit 1
fi
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'lrzsz' <<<"$depends" && grep -q 'libc6 (>=' <<<"$depends" ||
  { echo "Depends: $depends"; exit 1; }
# The configuration file is a conffile, and as shipped it changes nothing.
dpkg-deb -e "$deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = /etc/vurel.conf ] || { echo "conffiles wrong"; exit 1; }
dpkg-deb -x "$deb" "$work/root"
! grep -v '^#' "$work/root/etc/vurel.conf" | grep -q . || { echo "vurel.conf sets something"; exit 1; }
"$work/root/usr/bin/vurel" --ver | grep -q "Vurel version 2.1"
# Its vurel reads the shipped configuration without a complaint.
out=$(cd "$work" && VUREL_CONF="$work/root/etc/vurel.conf" "$work/root/usr/bin/vurel" --send none Z ||
  true)
grep -q "File not found : none" <<<"$out" || { echo "$out"; exit 1; }
# The README's picture is shipped where the README links it.
grep -q '](doc/session.svg)' "$work/root/usr/share/doc/vurel/README.md"
zcat "$work/root/usr/share/man/man1/vurel.1.gz" | grep -q '^\.TH VUREL 1'
lintian --fail-on error "$deb" 2>/dev/null
echo "$(basename "$deb"): Depends: $depends; lintian reports no error"
