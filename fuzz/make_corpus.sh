#!/usr/bin/env bash
# Rebuilds the seed corpora under fuzz/corpus/ from files written by avfgen.
# Seeds are kept small: tiny layouts, and in most seeds the global header's
# binary block cut to one record (the reader takes what there is of it).
#   fuzz/make_corpus.sh [path/to/avfgen]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
avfgen="$(realpath "${1:-$here/../build/avfgen}")"
corpus="$here/corpus"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Header numbers of a file: record length, header records, binary header records.
hdr_counts() { head -c 80 "$1" | awk '{print $2, $3, $4}'; }
# Records [skip, skip + count) of a file; count empty: to the end.
records() { # file recl skip [count]
  if [ -n "${4:-}" ]; then dd if="$1" bs="$2" skip="$3" count="$4" status=none
  else dd if="$1" bs="$2" skip="$3" status=none; fi
}
# Replaces `len` bytes at `off` of a file.
patch() { printf '%s' "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
# The 80-byte header line for a text.
line() { printf '%-79s\n' "$1"; }
# Two bytes, little-endian.
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
byte() { printf "\\x$(printf %02x $(($1 & 255)))"; }

gen() { # name avfgen-options...
  local name=$1; shift
  (cd "$work" && "$avfgen" -o "$name.avf" "$@" >/dev/null)
}

# The file with its global header's binary block cut to its first record.
compact() { # in out
  read -r recl h b < <(hdr_counts "$1")
  local n=$((h - b + 1))
  { records "$1" "$recl" 0 $((h - b + 1)); records "$1" "$recl" "$h"; } > "$2"
  patch "$2" 16 "$(printf ' %-7d %-7d ' "$n" 1)"
  local off
  off=$(grep -abo 'HDR_RECS= ' "$2" | head -1 | cut -d: -f1)
  patch "$2" "$off" "$(line "HDR_RECS= $n" | head -c 79)"
}

# The five-byte prefix of the scan harnesses: recl, scan header records,
# binary scan header records, flags (1 big-endian, 2 version naming AVF).
scan_prefix() { # file flags
  read -r recl h b < <(hdr_counts "$1")
  local first
  first=$(records "$1" "$recl" "$h" 1 | head -c 80)
  read -r _ sr sb <<<"$first"
  le16 "$recl"; byte "$sr"; byte "$sb"; byte "$2"
}

rm -rf "$corpus"
mkdir -p "$corpus"/{avf_hdr,scan_hdr,corr_text,corr_versions,scantab,mend,opt_line}

gen le2 -a 2 -c 2 -n 2 -r 2 -V 2
gen be4 -a 2 -c 2 -n 2 -r 2 -V 4 -B 1
gen le0 -a 2 -s 3 -b 4 -c 2 -n 2 -r 1 -V 0
gen le3old -a 2 -c 2 -n 2 -r 1 -V 3 -O 1
gen zero -a 2 -c 2 -n 3 -r 2,0,1 -V 2
gen cut -a 2 -c 2 -n 2 -r 2 -V 4 -x 100
gen dmg -a 2 -c 2 -n 3 -r 3 -V 2 -g 1:1 -L 0:1:20 -k 2 -P 2:0:7
for f in le2 be4 le0 le3old zero cut dmg; do compact "$work/$f.avf" "$work/$f.small"; done

# Global header reader: the global header and the first scan record.
for f in le2 be4 le0 le3old; do
  read -r recl h b < <(hdr_counts "$work/$f.small")
  records "$work/$f.small" "$recl" 0 $((h + 1)) > "$corpus/avf_hdr/$f"
done
read -r recl h b < <(hdr_counts "$work/le2.avf")
records "$work/le2.avf" "$recl" 0 $((h + 1)) > "$corpus/avf_hdr/le2-whole"

# Scan header reader: a scan header after its prefix.
for seed in le2:0 be4:1 le3old:0 le0:2; do
  f=${seed%%:*} flags=${seed##*:}
  read -r recl h b < <(hdr_counts "$work/$f.avf")
  read -r _ sr _ < <(records "$work/$f.avf" "$recl" "$h" 1 | head -c 80)
  { scan_prefix "$work/$f.avf" "$flags"; records "$work/$f.avf" "$recl" "$h" "$sr"; } > "$corpus/scan_hdr/$f"
done

# Scan table: every record after the global header, after the prefix.
for seed in le2:0 be4:1 zero:0 cut:2; do
  f=${seed%%:*} flags=${seed##*:}
  read -r recl h b < <(hdr_counts "$work/$f.avf")
  { scan_prefix "$work/$f.avf" "$flags"; records "$work/$f.avf" "$recl" "$h"; } > "$corpus/scantab/$f"
done

# Correlator text readers: the text records of a global header; and range lists
# after their two-byte capacity.
for f in le2 le0; do
  read -r recl h b < <(hdr_counts "$work/$f.avf")
  records "$work/$f.avf" "$recl" 0 $((h - b)) > "$corpus/corr_text/$f"
done
{ le16 1024; printf '0:31:1 512:543:1 100:90:-2 7'; } > "$corpus/corr_text/range"
{ le16 64; printf ' 5 : 9 :0 70:60:-3 3:'; } > "$corpus/corr_text/range-small"

# Record versions: the stored block after its prefix (version index, flags).
for seed in le2:1:0:16192 be4:3:1:31152 le0:0:0:31152; do
  IFS=: read -r f v flags size <<<"$seed"
  read -r recl h b < <(hdr_counts "$work/$f.avf")
  { byte "$v"; byte "$flags"; records "$work/$f.avf" "$recl" $((h - b)) "$b" | head -c "$size"; } \
    > "$corpus/corr_versions/$f"
done
gen le3 -a 2 -c 2 -n 1 -r 1 -V 3
read -r recl h b < <(hdr_counts "$work/le3.avf")
{ byte 2; byte 0; records "$work/le3.avf" "$recl" $((h - b)) "$b" | head -c 29368; } > "$corpus/corr_versions/le3"

# The repair walk: whole small files, damaged ones among them.
for f in le2 be4 le3old zero cut dmg; do cp "$work/$f.small" "$corpus/mend/$f"; done
cp "$work/le2.avf" "$corpus/mend/le2-whole"

# Option lines.
o="$corpus/opt_line"
printf -- '-i obs.avf -m 10 -e 2 -v 1' > "$o/short"
printf -- '--in=a.avf,b.avf --maxscans=5 --eat 1' > "$o/long"
printf -- '-ia.avf,b.avf,c.avf -v1' > "$o/joined"
printf -- 'obs.avf -- -m 3 rest' > "$o/positional"
printf -- '"two words" -i "x y" ; -m 4' > "$o/quoted"
printf -- '-x -m -e= = ! . ? i' > "$o/odd"

du -sh "$corpus"
