#!/usr/bin/env bash
# Makes docs/screenshot.png from the real window: runs it on a virtual display with openbox, scans
# FOLDER (default: this source tree, builds included) and captures the window once the scan has settled. Run it again after the
# window changes, and commit the new picture.
#   tools/screenshot.sh [FOLDER] [QUORVEX]   (QUORVEX: default build/release/quorvex)
# Needs xvfb, openbox, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
folder=${1:-$PWD}
quorvex=${2:-build/release/quorvex}
out=docs/screenshot.png
[ -x "$quorvex" ] || { echo "no $quorvex: build it first (./build.sh run --version)" >&2; exit 1; }

scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT
# A display number nobody uses (the server picks it and says which), and settings of its own: the
# picture shows the defaults.
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$scratch/display") HOME=$scratch XDG_CONFIG_HOME=$scratch/config LANG=C.UTF-8 LC_ALL=C.UTF-8
openbox >/dev/null 2>&1 &
pids+=($!)
"$quorvex" "$folder" >/dev/null 2>&1 &
pids+=($!)

window=
for _ in $(seq 100); do
    window=$(xdotool search --class Quorvex 2>/dev/null | tail -n 1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || { echo "the window did not appear" >&2; exit 1; }
xdotool windowsize --sync "$window" 960 600 windowmove --sync "$window" 40 40
# The scan of a source tree ends within seconds; the tree is rebuilt every quarter of a second.
sleep "${SCREENSHOT_WAIT:-6}"
# Open the largest folder, so that the picture shows a tree.
xdotool windowfocus --sync "$window" key --delay 200 Down Right
sleep 1
import -window "$window" "$scratch/shot.png"
# 256 colours keep the picture small; the window's flat colours lose nothing visible.
convert "$scratch/shot.png" -colors 256 -strip "PNG8:$out"
echo "$out: $(stat -c %s "$out") bytes"
