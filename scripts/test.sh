#!/usr/bin/env bash
# Builds and runs every test: the ctest suite on a normal build and on an
# ASan+UBSan build (clang, LeakSanitizer on), then every libFuzzer target for a
# fixed budget, then the tests labelled tsan under ThreadSanitizer. The last line is the
# summary over all of it.
#   scripts/test.sh --quick   the normal build and its ctest suite only (a few minutes when
#                             the build is warm): the loop while changing code.
set -u
cd "$(dirname "$0")/.."
root=$PWD
quick=no
for arg in "$@"; do
  case $arg in
    --quick) quick=yes ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
  esac
done
FUZZ_SECONDS=${FUZZ_SECONDS:-30}
JOBS=${JOBS:-$(nproc)}
passed=0
failed=0
skipped=0
logs=$root/build/logs
mkdir -p "$logs"

summary() {
  if [ "$skipped" -gt 0 ]; then echo "$passed passed, $failed failed, $skipped skipped"
  else echo "$passed passed, $failed failed"; fi
}

if ! scripts/deps.sh; then
  failed=$((failed + 1))
  summary
  exit 1
fi

# Adds a ctest run's counts (from its JUnit report) to the totals.
count_junit() {
  local xml=$1 head tests fails errs skips
  head=$(tr '\n\t' '  ' <"$xml" 2>/dev/null | grep -o '<testsuite [^>]*>' | head -n1)
  if [ -z "$head" ]; then failed=$((failed + 1)); return; fi
  attr() { sed -n "s/.* $1=\"\([0-9]*\)\".*/\1/p" <<<"$head"; }
  tests=$(attr tests); fails=$(attr failures); errs=$(attr errors); skips=$(attr skipped)
  tests=${tests:-0}; fails=${fails:-0}; errs=${errs:-0}; skips=${skips:-0}
  passed=$((passed + tests - fails - errs - skips))
  failed=$((failed + fails + errs))
  skipped=$((skipped + skips))
}

build_and_test() {
  local name=$1; shift
  local dir=$root/build/$name
  echo "== $name: configure and build"
  if ! cmake -G Ninja -S "$root" -B "$dir" "$@" >"$logs/$name-configure.log" 2>&1; then
    cat "$logs/$name-configure.log"; echo "== $name: configure FAILED"
    failed=$((failed + 1)); return 1
  fi
  if ! ninja -C "$dir" -j "$JOBS" >"$logs/$name-build.log" 2>&1; then
    tail -n 60 "$logs/$name-build.log"; echo "== $name: build FAILED"
    failed=$((failed + 1)); return 1
  fi
  echo "== $name: ctest"
  rm -f "$dir/ctest.xml"
  (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest -j "$JOBS" --output-on-failure \
      --timeout 600 --output-junit "$dir/ctest.xml") 2>&1 | tee "$logs/$name-ctest.log" | tail -n 40
  count_junit "$dir/ctest.xml"
}

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

build_and_test release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr
if [ $quick = yes ]; then
  summary
  [ "$failed" -eq 0 ]
  exit
fi
build_and_test asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCARDTOOL_SANITIZE=ON -DCARDTOOL_FUZZ=ON -DCARDTOOL_BENCH=OFF
asan_ok=$?

if [ $asan_ok -eq 0 ]; then
  for f in "$root"/build/asan/fuzzers/*; do
    [ -x "$f" ] || continue
    name=$(basename "$f")
    corpus=$root/build/fuzz-corpus/$name
    mkdir -p "$corpus"
    seeds=$root/fuzz/$name/corpus
    echo "== fuzz $name (${FUZZ_SECONDS}s)"
    if (cd "$corpus" && "$f" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
          -artifact_prefix="$corpus/" "$corpus" $( [ -d "$seeds" ] && echo "$seeds" )) \
          >"$logs/fuzz-$name.log" 2>&1; then
      passed=$((passed + 1))
      grep -m1 'stat::number_of_executed_units' "$logs/fuzz-$name.log"
    else
      failed=$((failed + 1))
      tail -n 40 "$logs/fuzz-$name.log"
      echo "== fuzz $name FAILED"
    fi
  done
fi

# The tests labelled tsan (threads of our own, without Qt) once more under ThreadSanitizer.
echo "== tsan: configure, build and ctest"
rm -f "$root/build/tsan/ctest.xml"
JOBS=$JOBS scripts/tsan.sh --output-junit "$root/build/tsan/ctest.xml" >"$logs/tsan.log" 2>&1
tail -n 12 "$logs/tsan.log"
count_junit "$root/build/tsan/ctest.xml"

summary
[ "$failed" -eq 0 ]
