#!/usr/bin/env bash
# validate.sh desktop|metainfo FILE: the distribution's own validator on our desktop files.
# Exit 77 (skipped) when the validator is not installed (scripts/deps.sh installs it).
# validate.sh copyright FILE LICENSE: the Debian copyright file is machine-readable, every
# licence it names has its text, and its Expat text is the one in LICENSE word for word.
set -u
kind=$1 file=$2
if [ "$kind" = copyright ]; then
  fail() { echo "FAIL: $file: $*"; exit 1; }
  head -n1 "$file" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "no DEP-5 Format line"
  # Paragraphs are separated by empty lines; a field starts at column 0, its continuation
  # lines with a blank.
  bad=$(grep -nvE '^$|^[A-Za-z-]+:( |$)|^ ' "$file") && fail "not a field or continuation: $bad"
  grep -q '^Files: \*$' "$file" || fail "no Files: * paragraph"
  names=$(grep -E '^ ?License: ' "$file" | sed -E 's/^ ?License: //' | sort -u)
  for name in $names; do
    # The stand-alone paragraph: a License line followed by the text.
    awk -v n="$name" '$0 == "License: " n { getline; if ($0 ~ /^ /) found = 1 } END { exit !found }' \
      "$file" || fail "no text for licence $name"
  done
  expat=$(awk '$0 == "License: Expat" { getline; if ($0 !~ /^ /) next; t = 1 }
               t && /^ / { sub(/^ \.?/, ""); print; next } t { exit }' "$file" | tr -s ' \n' ' ')
  own=$(sed -n '/^Permission/,$p' "$3" | tr -s ' \n' ' ')
  [ -n "$own" ] && [ "$expat" = "$own" ] || fail "its Expat text differs from $3"
  grep -q '^Copyright: .*The cardtool developers' "$file" || fail "no copyright line of ours"
  echo "ok: $file"
  exit 0
fi
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
