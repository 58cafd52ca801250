#!/usr/bin/env bash
# pcsc_demo_test.sh SCRIPT BUILD_DIR STAND_IN: runs the demo script's PC/SC part on the
# private-pcscd path with a stand-in for cardtool, then checks that the script stopped what
# it started. Exit 77 (skipped) where no private pcscd can run.
set -u
script=$1 build=$2 stand_in=$3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
PCSC_DEMO=private PCSC_DEMO_SOCKET_FILE=$out/socket "$script" "$build" "$stand_in"
rc=$?
[ $rc -eq 0 ] || exit $rc
socket=$(cat "$out/socket")
[ -n "$socket" ] || { echo "FAIL: no private service socket"; exit 1; }
# The virtual card removes the private service's folder once the daemon is stopped.
if [ -e "$socket" ] || [ -d "$(dirname "$(dirname "$socket")")" ]; then
  echo "FAIL: the private pcscd outlived the program ($socket)"
  exit 1
fi
echo "ok: the private pcscd and the virtual card are gone"
