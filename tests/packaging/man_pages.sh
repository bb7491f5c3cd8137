#!/usr/bin/env bash
# Every manual page renders without a single groff warning.
set -u
dir=${1:?man directory}
command -v groff >/dev/null || { echo "groff not found: skipped"; exit 77; }
status=0
for page in "$dir"/*.1; do
  warnings=$(groff -ww -z -man "$page" 2>&1)
  if [ -n "$warnings" ]; then
    echo "$page:"; echo "$warnings"; status=1
  fi
done
exit $status
