#!/usr/bin/env bash
# Runs the tests labelled tsan under ThreadSanitizer: the threads of our own that need no
# window (the serial receive loop, the HID library's write worker at exit). The build is
# build/tsan and holds only what those tests need (the target tsan_checks). Extra arguments go
# to ctest. Exits nonzero on a failed test or a reported race.
set -u
cd "$(dirname "$0")/.."
root=$PWD
dir=${CARDTOOL_TSAN_DIR:-$root/build/tsan}
launcher=()
command -v ccache >/dev/null &&
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCARDTOOL_TSAN=ON -DCARDTOOL_BENCH=OFF "${launcher[@]}" \
  >/dev/null || exit 1
ninja -C "$dir" -j "${JOBS:-$(nproc)}" tsan_checks >/dev/null || exit 1
cd "$dir" && TSAN_OPTIONS=halt_on_error=1:exitcode=66 ctest -L tsan --output-on-failure \
  --timeout 600 "$@"
