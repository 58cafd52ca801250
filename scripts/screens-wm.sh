#!/usr/bin/env bash
# Pictures cardtool as a user sees it under a window manager, for review: the program runs
# on Xvfb with openbox at 100 % and 125 % (QT_SCALE_FACTOR) and is driven with xdotool;
# each scene is captured from the X screen (window frames and title bars included) as
# <folder>/wm-<scale>-<scene>.png (default folder docs/screens). Scenes: the chooser, the
# configuration window after probing the virtual reader, its about box and version box,
# and the reader-not-found box of a probe without any reader. Not part of the tests.
# CARDTOOL_BUILD_DIR picks another build folder.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-$root/docs/screens}
dir=${CARDTOOL_BUILD_DIR:-$root/build/release}

scripts/deps.sh
pkgs=(xvfb openbox imagemagick xdotool)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  cmd="apt-get install -y --no-install-recommends ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:"
    echo "  apt-get update && $cmd"
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q && $cmd
fi

cmake -G Ninja -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$dir" cardtool lorvane lorvanex serivo brenmark virtual_reader >/dev/null
mkdir -p "$out"
work=$(mktemp -d)

pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# A display of its own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# The id of the window with this title, waiting up to 20 s for it to be mapped.
window() { timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -1; }
# Logical pixels to device pixels at the current scale.
px() { awk -v v="$1" -v s="$scale" 'BEGIN { printf "%d", v * s + 0.5 }'; }
# The whole screen, cut to what the windows cover (the root stays black).
shot() {
  import -window root "$work/shot.png"
  convert "$work/shot.png" -trim +repage "$out/wm-$label-$1.png"
  echo "wrote $out/wm-$label-$1.png"
}
# Help menu: open the menu bar's first menu, move right to Help, pick the nth item.
help_item() {
  xdotool mousemove --window "$1" "$(px 30)" "$(px 10)" click 1
  sleep 0.5
  xdotool key Right
  for ((i = 1; i < $2; i++)); do xdotool key Down; done
  xdotool key Return
  sleep 1.5
}
start() {
  QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale "$@" "$dir/bin/cardtool" >/dev/null 2>&1 &
  app=$!
  pids+=($app)
  chooser=$(window "KELDO three in one 2014_DEMO")
  sleep 1
}
stop() {
  kill "$app" 2>/dev/null || true
  wait "$app" 2>/dev/null || true
  sleep 0.5
}
go() {
  xdotool mousemove --window "$chooser" "$(px 403)" "$(px 65)" click 1
  form2=$(window "KM5530_MSR")
  sleep 2
}

for scale in 1 1.25; do
  label=$(awk -v s="$scale" 'BEGIN { printf "%d", s * 100 }')
  # Against the virtual reader.
  start env LD_LIBRARY_PATH="$dir/virtual-reader-lib"
  shot chooser
  go
  shot configuration
  help_item "$form2" 2
  shot about
  xdotool key Escape
  sleep 0.5
  help_item "$form2" 1
  shot version
  xdotool key Return
  stop
  # No reader at all: the probe's box over the configuration window.
  start env -u LD_LIBRARY_PATH
  go
  shot not-found
  stop
done
