#!/usr/bin/env bash
# The manual page renders without warnings and names every switch that the
# program accepts (as its dispatch table in the source lists them).
set -euo pipefail
source_dir=$1
page="$source_dir/doc/vurel.1"
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
if [ -n "$warnings" ]; then
  echo "man reports warnings:"; echo "$warnings"; exit 1
fi
text=$(MANWIDTH=80 man -l "$page" 2>/dev/null)
switches=$(grep -o '"--[a-z]*"' "$source_dir/src/main/front_end.cc" | tr -d '"' | sort -u)
[ -n "$switches" ] || { echo "no switches found in the source"; exit 1; }
status=0
for switch in $switches; do
  if ! grep -q -- "$switch" <<<"$text"; then echo "missing from the manual: $switch"; status=1; fi
done
for word in DSZLOG "EXIT STATUS" "vrlszN.log" "Run time error"; do
  grep -q -- "$word" <<<"$text" || { echo "missing from the manual: $word"; status=1; }
done
[ $status = 0 ] && echo "manual names: $(echo $switches)"
exit $status
