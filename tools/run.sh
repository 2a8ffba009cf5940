#!/usr/bin/env bash
# Sets up and builds, then runs the display together with the console
# simulator on this machine. Without a display (no $DISPLAY) it runs both
# under a virtual X server for a few seconds, saves a screenshot of the live
# window and stops. Options: --seconds N (headless run time, default 8),
# --size WxH (window size, default 1920x1080), --screenshot FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

seconds=8
size=1920x1080
shot="$root/build/screenshot.png"
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --size) size=$2; shift 2 ;;
    --screenshot) shot=$2; shift 2 ;;
    *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

tools/setup.sh -DBUILD_TESTING=OFF
bin="$root/${VM_BUILD_DIR:-build}/bin"

# A private settings store so that a demo never touches the operator's own.
export XDG_CONFIG_HOME="$root/build/demo-config"
mkdir -p "$XDG_CONFIG_HOME"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; }
trap cleanup EXIT

if [ -x "$bin/vontra-console-sim" ]; then
    "$bin/vontra-console-sim" &
    pids+=($!)
fi

if [ -n "${DISPLAY:-}" ]; then
    "$bin/vontra-meters"
    exit 0
fi

display=:$((90 + RANDOM % 100))
w=${size%x*}
h=${size#*x}
Xvfb "$display" -screen 0 "$((w))x$((h))x24" -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$bin/vontra-meters" &
app=$!
pids+=($app)
# There is no window manager: size the window to the whole virtual screen.
id=$(timeout 10 xdotool search --sync --onlyvisible --name "^Vontra Meters$" | head -n 1)
xdotool windowmove "$id" 0 0 windowsize "$id" "$w" "$h"
sleep "$seconds"
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
echo "Screenshot of the live window: $shot"
