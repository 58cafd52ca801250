#!/usr/bin/env bash
# Builds the Debian package of cardtool from a release build installed under /usr:
# build/package/cardtool_<version>_<arch>.deb. Install it with
#   apt install ./build/package/cardtool_*.deb
set -u
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh || exit 1
dir=$root/build/package
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DCARDTOOL_BENCH=OFF >/dev/null || exit 1
ninja -C "$dir" || exit 1
(cd "$dir" && cpack -G DEB) || exit 1
ls "$dir"/cardtool_*.deb
