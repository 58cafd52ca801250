#!/usr/bin/env bash
# Runs the serial receive loop's tests under ThreadSanitizer. They need no window and no
# Qt thread (the loop, scripted entry points, libserivo on a pseudo-terminal, the loop on
# its own thread stopped from another), so the build is one small target: build/tsan.
# Exits nonzero on a failed test or a reported race.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
dir=${CARDTOOL_TSAN_DIR:-$root/build/tsan}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DCARDTOOL_BENCH=OFF "${launcher[@]}" \
  -DCMAKE_C_FLAGS=-fsanitize=thread -DCMAKE_CXX_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
  >/dev/null
ninja -C "$dir" -j "${JOBS:-$(nproc)}" serial_receive_test >/dev/null
TSAN_OPTIONS=halt_on_error=1:exitcode=66 SERIVO_TIMEOUT_MS=300 \
  "$dir/bin/serial_receive_test" "$@"
