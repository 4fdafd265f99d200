#!/usr/bin/env bash
# cmake --install into a DESTDIR gives exactly the program, its manual page and
# its documents, and the installed program runs.
set -euo pipefail
build_dir=$1
destdir=$(mktemp -d)
trap 'rm -rf "$destdir"' EXIT
DESTDIR="$destdir" cmake --install "$build_dir" --prefix /usr/local >/dev/null
found=$(cd "$destdir" && find . -type f | sort)
expected="./usr/local/bin/vurel
./usr/local/share/doc/vurel/README.md
./usr/local/share/doc/vurel/changelog.Debian.gz
./usr/local/share/doc/vurel/copyright
./usr/local/share/man/man1/vurel.1.gz"
if [ "$found" != "$expected" ]; then
  echo "installed files:"; echo "$found"; exit 1
fi
"$destdir/usr/local/bin/vurel" --ver | grep -q "Vurel version 2.1"
echo "installed: $(echo $found)"
