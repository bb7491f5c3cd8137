#!/usr/bin/env bash
# An install into a scratch prefix holds the programs and their manual
# pages, and the installed programs run.
set -u
build=${1:?build directory}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "install failed"; exit 1; }
status=0
for program in avfmend avfmerge avfinfo; do
  [ -x "$prefix/bin/$program" ] || { echo "missing bin/$program"; status=1; }
  [ -f "$prefix/share/man/man1/$program.1" ] || { echo "missing share/man/man1/$program.1"; status=1; }
done
cd "$prefix" || exit 1
out=$("$prefix/bin/avfmend" 2>&1); rc=$?
[ $rc -eq 1 ] && [[ "$out" == Usage:* ]] || { echo "installed avfmend: $rc $out"; status=1; }
out=$("$prefix/bin/avfmerge" 2>&1); rc=$?
[ $rc -eq 1 ] && [[ "$out" == Usage:* ]] || { echo "installed avfmerge: $rc $out"; status=1; }
"$prefix/bin/avfinfo" /nonexistent >/dev/null 2>&1; rc=$?
[ $rc -eq 1 ] || { echo "installed avfinfo on a missing file: $rc"; status=1; }
exit $status
