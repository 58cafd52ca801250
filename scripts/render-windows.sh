#!/usr/bin/env bash
# Renders every window of cardtool to PNG offscreen, into docs/screens/ (or the folder
# given). The configuration window probes the virtual reader, so it shows a loaded
# configuration. CARDTOOL_BUILD_DIR picks another build folder.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-$root/docs/screens}
dir=${CARDTOOL_BUILD_DIR:-$root/build/release}
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$dir" render_windows lorvane lorvanex serivo brenmark virtual_reader >/dev/null
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen \
  LD_LIBRARY_PATH=$dir/virtual-reader-lib:$dir/bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH} \
  "$dir/bin/render_windows" "$out"
