#!/usr/bin/env bash
# Builds cardtool and starts it. With no reader attached (no HID device with vendor
# 10C4 and product 847C or 84A2) it runs against the virtual reader instead. With no PC/SC
# reader present it also puts a virtual card into a PC/SC reader for the PC/SC window
# (scripts/pcsc-demo.sh), and takes it away again when cardtool exits.
set -u
cd "$(dirname "$0")/.."
root=$PWD
scripts/deps.sh || exit 1
dir=$root/build/release
cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
ninja -C "$dir" || exit 1
if [ ! -x "$dir/bin/cardtool" ]; then
  echo "Built everything; the program cardtool does not exist yet, so there is nothing to start."
  exit 0
fi
reader=no
for d in /sys/bus/hid/devices/*; do
  case "$(basename "$d")" in
    *:10C4:847C.*|*:10C4:84A2.*) reader=yes ;;
  esac
done
if [ $reader = yes ]; then
  echo "Starting cardtool with the attached reader."
  exec scripts/pcsc-demo.sh "$dir" "$dir/bin/cardtool"
fi
echo "No reader attached: starting cardtool against the virtual reader."
exec scripts/pcsc-demo.sh "$dir" env \
  LD_LIBRARY_PATH="$dir/virtual-reader-lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$dir/bin/cardtool"
