#!/usr/bin/env bash
# install_test.sh BUILD_DIR VIRTUAL_READER_DIR PLUGIN_DIR: installs the build into a temporary
# root and runs the installed programs from there. They must find their libraries through
# their own RUNPATH; the library path holds nothing but the virtual reader, which is never
# installed.
set -u
build=$1 vreader=$2 plugins=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR=$root cmake --install "$build" >"$root.log" 2>&1 || { cat "$root.log"; fail "install"; }
rm -f "$root.log"
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
top=$root$prefix
echo "installed into $top:"
(cd "$root" && find . -type f | sort)

for f in bin/cardtool "$plugins/liblorvane.so" "$plugins/liblorvanex.so" \
         "$plugins/libbrenmark.so" "$plugins/libserivo.so" \
         lib/udev/rules.d/70-cardreader.rules \
         share/applications/io.github.cardtool.CardTool.desktop \
         share/metainfo/io.github.cardtool.CardTool.metainfo.xml \
         share/icons/hicolor/scalable/apps/io.github.cardtool.CardTool.svg \
         share/doc/cardtool/copyright share/doc/cardtool/README.md; do
  [ -f "$top/$f" ] || fail "$f is not installed"
done
[ -f "$build/bin/cardtool-cli" ] && { [ -x "$top/bin/cardtool-cli" ] || fail "cardtool-cli"; }
stray=$(cd "$root" && find . -type f \( -name '*.h' -o -name 'libhidapi*' -o -name '*test*' \
          -o -name '*.a' -o -name 'bench_*' -o -name 'fuzz_*' \))
[ -z "$stray" ] || fail "installed but not ours to install: $stray"
ls "$top/bin" | grep -vxE 'cardtool|cardtool-cli' && fail "other programs in bin"

# The RUNPATH names the plug-in folder, relative to the program.
for prog in cardtool cardtool-cli; do
  [ -x "$top/bin/$prog" ] || continue
  rp=$(readelf -d "$top/bin/$prog" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  dir=${rp//\$ORIGIN/$top/bin}
  [ -f "$dir/liblorvane.so" ] || fail "$prog's RUNPATH '$rp' does not lead to its libraries"
done

export LD_LIBRARY_PATH=$vreader QT_QPA_PLATFORM=offscreen
if [ -x "$top/bin/cardtool-cli" ]; then
  out=$("$top/bin/cardtool-cli" version 2>&1) || fail "cardtool-cli version: $out"
  grep -q 'KM5530' <<<"$out" || fail "cardtool-cli version printed '$out'"
  echo "cardtool-cli version: $out"
fi
timeout 1 "$top/bin/cardtool" >"$root/out.log" 2>&1
rc=$?
[ $rc -eq 124 ] || { cat "$root/out.log"; fail "the installed cardtool ended with $rc within a second"; }
echo "the installed cardtool ran for a second"
