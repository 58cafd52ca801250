#!/usr/bin/env bash
# deb_test.sh BUILD_DIR PLUGIN_DIR: builds the Debian package from the build and checks what
# it holds and what it depends on. Exit 77 (skipped) without dpkg's tools.
set -u
build=$1 plugins=$2
for tool in dpkg-deb dpkg-shlibdeps cpack; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$out") >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail cpack; }
deb=$(ls "$out"/*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || fail "no package"
prefix=./usr
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}' | grep -v '/$')
echo "$deb:"
echo "$contents"
for f in bin/cardtool "$plugins/liblorvane.so" "$plugins/liblorvanex.so" "$plugins/libbrenmark.so" \
         "$plugins/libserivo.so" lib/udev/rules.d/70-cardreader.rules \
         share/applications/io.github.cardtool.CardTool.desktop \
         share/metainfo/io.github.cardtool.CardTool.metainfo.xml \
         share/icons/hicolor/scalable/apps/io.github.cardtool.CardTool.svg \
         share/doc/cardtool/copyright; do
  grep -qx "$prefix/$f" <<<"$contents" || fail "$f is not in the package"
done
if [ -f "$build/bin/cardtool-cli" ]; then
  for f in bin/cardtool-cli share/man/man1/cardtool-cli.1.gz; do
    grep -qx "$prefix/$f" <<<"$contents" || fail "$f is not in the package"
  done
fi
stray=$(grep -E '\.h$|hidapi|test|gtest|bench|fuzz|virtual|\.a$' <<<"$contents")
[ -z "$stray" ] || fail "from the test tree: $stray"

depends=$(dpkg-deb --field "$deb" Depends)
recommends=$(dpkg-deb --field "$deb" Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
for d in libhidapi-hidraw0 libpcsclite1 libqt6widgets6 libqt6svg6 libturbojpeg0; do
  grep -q "$d" <<<"$depends" || fail "Depends lacks $d"
done
grep -q pcscd <<<"$recommends" || fail "Recommends lacks pcscd"
