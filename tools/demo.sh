#!/usr/bin/env bash
# Demonstration: a damaged big-endian file repaired, then two observations of
# one configuration merged. Run by `make demo` with the build directory.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
dir="$build/demo"
rm -rf "$dir" && mkdir -p "$dir" && cd "$dir"

say() { printf '\n== %s\n' "$*"; }
byte_seq() { grep -a -o 'BYTE_SEQ=  [A-Za-z]* Endian' "$1" | head -n 1; }

say "A big-endian observation of 4 scans, damaged"
echo "(a garbage record inside scan 1, a scan header that lost a keyword, the last 1000 bytes cut off)"
"$build/avfgen" -o damaged.avf -B 1 -n 4 -r 6,8,5,7 -I 1:4 -K 2 -x 1000
echo "damaged.avf: $(stat -c %s damaged.avf) bytes, $(byte_seq damaged.avf)"

say "avfmend -i damaged.avf"
set +e
"$build/avfmend" -i damaged.avf
status=$?
set -e
echo "(exit status $status)"

say "The repaired file"
echo "avfmend_out.avf: $(stat -c %s avfmend_out.avf) bytes, $(byte_seq avfmend_out.avf)"
mv avfmend_out.avf repaired.avf
"$build/avfmend" -i repaired.avf >/dev/null 2>recheck.err
if cmp -s repaired.avf avfmend_out.avf && [ ! -s recheck.err ]; then
  echo "Repairing it again changes nothing and reports nothing: it is clean."
else
  echo "Repairing it again still found damage:" && cat recheck.err
fi

say "Two observations of one configuration: the second a day later, in the other byte order"
"$build/avfgen" -o day1.avf -n 2 -r 3,2 -j 60000
"$build/avfgen" -o day2.avf -n 3 -r 2 -j 60001 -B 1
echo "day1.avf: $(byte_seq day1.avf); day2.avf: $(byte_seq day2.avf)"

say "avfmerge -i day1.avf,day2.avf"
"$build/avfmerge" -i day1.avf,day2.avf
echo "avfmerge_out.avf: $(stat -c %s avfmerge_out.avf) bytes, $(byte_seq avfmerge_out.avf)"

say "The repaired file merges with the day-1 observation too"
"$build/avfmerge" -i repaired.avf,day1.avf | tail -n 4
echo
echo "Files are in $dir"
