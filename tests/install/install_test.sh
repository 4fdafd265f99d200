#!/usr/bin/env bash
# cmake --install into a DESTDIR gives exactly the program and its manual page.
set -euo pipefail
build_dir=$1
destdir=$(mktemp -d)
trap 'rm -rf "$destdir"' EXIT
DESTDIR="$destdir" cmake --install "$build_dir" --prefix /usr/local >/dev/null
found=$(cd "$destdir" && find . -type f | sort)
expected=$'./usr/local/bin/vurel\n./usr/local/share/man/man1/vurel.1'
if [ "$found" != "$expected" ]; then
  echo "installed files:"; echo "$found"; exit 1
fi
"$destdir/usr/local/bin/vurel" --ver | grep -q "Vurel version 2.1"
echo "installed: $(echo $found)"
