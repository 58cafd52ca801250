#!/usr/bin/env bash
# validate.sh desktop|metainfo FILE: the distribution's own validator on our desktop files.
# Exit 77 (skipped) when the validator is not installed (scripts/deps.sh installs it).
set -u
kind=$1 file=$2
case $kind in
  desktop) tool=desktop-file-validate; args=("$file") ;;
  metainfo) tool=appstreamcli; args=(validate --no-net --pedantic "$file") ;;
  *) echo "unknown kind $kind"; exit 2 ;;
esac
if ! command -v "$tool" >/dev/null; then
  echo "SKIPPED: $tool is not installed"
  exit 77
fi
out=$("$tool" "${args[@]}" 2>&1)
rc=$?
echo "$out"
# Hints and pedantic notes are advice; warnings and errors fail.
if [ $rc -ne 0 ] || grep -qiE '(^|[: ])(error|warning)s?:' <<<"$out"; then
  echo "FAIL: $file"
  exit 1
fi
