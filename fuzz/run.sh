#!/usr/bin/env bash
# Runs each fuzz harness for a bounded time, one after the other, one process each.
#   fuzz/run.sh BUILD_DIR [SECONDS] [HARNESS...]
# The checked-in corpus (fuzz/corpus/<h>) and the inputs of past findings
# (fuzz/regressions/<h>) are read, never written: inputs found interesting
# during the run go to BUILD_DIR/corpus/<h>, and any new finding is saved as
# BUILD_DIR/findings/<h>/crash-... (or leak-, timeout-, oom-). Exit status 1
# when any harness found something.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS] [HARNESS...]}" && pwd)"
seconds="${2:-60}"
shift $(($# > 1 ? 2 : 1))
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(avf_hdr scan_hdr corr_text corr_versions scantab mend opt_line)

max_len() {
  case "$1" in
    avf_hdr) echo 32768 ;;
    corr_versions) echo 31160 ;;
    mend) echo 40000 ;;
    opt_line) echo 512 ;;
    scan_hdr) echo 8192 ;;
    *) echo 16384 ;;
  esac
}

failed=()
for h in "${harnesses[@]}"; do
  bin="$build/fuzz_$h"
  if [ ! -x "$bin" ]; then
    echo "fuzz: no harness $bin" >&2
    failed+=("$h")
    continue
  fi
  work="$build/corpus/$h" findings="$build/findings/$h"
  mkdir -p "$work" "$findings" "$here/regressions/$h"
  dict=()
  case "$h" in opt_line) ;; *) dict=(-dict="$here/avf.dict") ;; esac
  echo "fuzz: $h for ${seconds}s"
  # Standard output and error of the code under test are closed (-close_fd_mask=3);
  # the fuzzer's own lines and any sanitizer report still come through.
  if "$bin" -max_total_time="$seconds" -max_len="$(max_len "$h")" -timeout=20 -rss_limit_mb=2048 \
      -close_fd_mask=3 -print_final_stats=1 "${dict[@]}" -artifact_prefix="$findings/" \
      "$work" "$here/corpus/$h" "$here/regressions/$h" >"$build/fuzz-$h.log" 2>&1; then
    grep -E '^Done|stat::number_of_executed_units|stat::peak_rss_mb' "$build/fuzz-$h.log" |
      sed "s/^/fuzz: $h: /"
    cov=$(grep -E '^#[0-9]+' "$build/fuzz-$h.log" | tail -1)
    echo "fuzz: $h: $cov"
  else
    echo "fuzz: $h FOUND SOMETHING: see $build/fuzz-$h.log and $findings/" >&2
    grep -E 'ERROR|SUMMARY|Test unit written' "$build/fuzz-$h.log" | head -5 >&2
    failed+=("$h")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings or failures in: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: all ${#harnesses[@]} harnesses ran ${seconds}s each without a finding"
