#!/usr/bin/env bash
# Runs every libFuzzer target on the sanitizer build for a longer budget than the test
# command does: scripts/fuzz-long.sh [seconds per target, default 600] [target ...] (every
# target when none is named).
# New inputs that reach new code are merged into the target's corpus in fuzz/<target>/corpus,
# to be committed with the code. Prints each target's executions; crashes, leaks and time-outs
# are left as files in build/fuzz-long/<target>/ and make the script fail.
set -u
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-600}
shift $(($# > 0 ? 1 : 0))
only=("$@")
JOBS=${JOBS:-$(nproc)}
scripts/deps.sh || exit 1

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

dir=$root/build/asan
mkdir -p "$root/build/logs"
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCARDTOOL_SANITIZE=ON -DCARDTOOL_FUZZ=ON \
  -DCARDTOOL_BENCH=OFF >"$root/build/logs/fuzz-long-configure.log" 2>&1 || {
  tail -n 40 "$root/build/logs/fuzz-long-configure.log"; exit 1; }
ninja -C "$dir" -j "$JOBS" >"$root/build/logs/fuzz-long-build.log" 2>&1 || {
  tail -n 40 "$root/build/logs/fuzz-long-build.log"; exit 1; }

failed=0
printf '%-28s %14s %8s %10s  %s\n' target executions seconds corpus result
for f in "$dir"/fuzzers/*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  if [ ${#only[@]} -gt 0 ] && [[ " ${only[*]} " != *" $name "* ]]; then continue; fi
  work=$root/build/fuzz-long/$name
  corpus=$root/fuzz/$name/corpus
  mkdir -p "$work/new" "$corpus"
  log=$work/run.log
  (cd "$work" && "$f" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" \
     "$work/new" "$corpus") >"$log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  # Keep what reaches new code, minimised against what the repository already holds.
  "$f" -merge=1 "$corpus" "$work/new" >"$work/merge.log" 2>&1
  files=$(find "$corpus" -type f | wc -l)
  if [ $rc -eq 0 ]; then result="no findings"; else result="FINDINGS (see $work)"; failed=1; fi
  printf '%-28s %14s %8s %10s  %s\n' "$name" "${execs:-?}" "$seconds" "$files" "$result"
done
exit $failed
