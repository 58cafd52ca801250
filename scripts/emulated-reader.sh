#!/usr/bin/env bash
# Runs a command (cardtool, cardtool-cli, a test) with one card reader emulated at the
# kernel's boundary: the command's own hidapi, the system's libhidapi-hidraw.so.0, and libudev
# find a USB reader 10C4:847C in sysfs and talk to its hidraw node, which the virtual reader's
# logic answers (through umockdev). The command sees no other HID device.
#
#   scripts/emulated-reader.sh build/release/bin/cardtool-cli version
#   scripts/emulated-reader.sh --report-id none --product 84A2 build/release/bin/cardtool
#
# Options before the command go to the emulation (build/<dir>/tools/emulated-reader --help).
# The tool comes from the build folder the command lives in (else build/release), built first
# when missing. The virtual reader is taken off LD_LIBRARY_PATH.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
options=()
while [ $# -gt 0 ]; do
  case "$1" in
    --) shift; break ;;
    --no-descriptor|--verbose) options+=("$1"); shift ;;
    --help) options+=("$1"); break ;;
    --*) [ $# -ge 2 ] || { echo "emulated-reader.sh: $1 needs a value" >&2; exit 125; }
         options+=("$1" "$2"); shift 2 ;;
    *) break ;;
  esac
done
if [ $# -eq 0 ] && [ "${options[*]:-}" != "--help" ]; then
  echo "usage: scripts/emulated-reader.sh [OPTION...] [--] COMMAND [ARG...]" >&2
  exit 125
fi

dir=$here/build/release
if [ $# -gt 0 ]; then
  command=$(cd "$(dirname "$1")" 2>/dev/null && pwd)/$(basename "$1")
  case "$command" in
    "$here"/build/*/*) sub=${command#"$here"/build/}; dir=$here/build/${sub%%/*} ;;
  esac
fi
tool=$dir/tools/emulated-reader
if [ ! -x "$tool" ]; then
  "$here"/scripts/deps.sh || exit 125
  [ -f "$dir/build.ninja" ] ||
    cmake -G Ninja -S "$here" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 125
  ninja -C "$dir" emulated-reader >/dev/null || exit 125
fi

# The virtual reader carries hidapi's name: with it first on the path the real one never runs.
path=
IFS=: read -r -a entries <<<"${LD_LIBRARY_PATH:-}"
for e in "${entries[@]}"; do
  case "$e" in
    ''|*virtual-reader-lib*) ;;
    *) path=${path:+$path:}$e ;;
  esac
done
if [ -n "$path" ]; then export LD_LIBRARY_PATH=$path; else unset LD_LIBRARY_PATH; fi

exec "$tool" "${options[@]}" -- "$@"
