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
expected="./usr/bin/vurel
./usr/share/doc/vurel/README.md
./usr/share/doc/vurel/changelog.Debian.gz
./usr/share/doc/vurel/copyright
./usr/share/man/man1/vurel.1.gz"
if [ "$contents" != "$expected" ]; then
  echo "package contents:"; echo "$contents"; exit 1
fi
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'lrzsz' <<<"$depends" && grep -q 'libc6 (>=' <<<"$depends" ||
  { echo "Depends: $depends"; exit 1; }
dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/vurel" --ver | grep -q "Vurel version 2.1"
zcat "$work/root/usr/share/man/man1/vurel.1.gz" | grep -q '^\.TH VUREL 1'
lintian --fail-on error "$deb" 2>/dev/null
echo "$(basename "$deb"): Depends: $depends; lintian reports no error"
