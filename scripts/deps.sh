#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing cardtool need.
# As root it runs apt-get; otherwise it prints the command and fails.
set -u
pkgs=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev libhidapi-dev libpcsclite-dev pcscd vsmartcard-vpcd
  libturbojpeg0-dev libgtest-dev libgmock-dev libbenchmark-dev util-linux procps
  libcli11-dev nlohmann-json3-dev # cardtool-cli's command line and JSON
  umockdev libumockdev-dev gir1.2-umockdev-1.0 # readers emulated under the system's hidapi
  desktop-file-utils appstream dpkg-dev file # the package and its validators
  fonts-wqy-microhei # the windows' full-width colons and Chinese texts
)
missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
cmd="apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages. Run as root:"
  echo "  apt-get update && $cmd"
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q && $cmd
