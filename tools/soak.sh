#!/usr/bin/env bash
# Long run of the display against the simulator, watching its memory.
#   tools/soak.sh [minutes]    (default 10)
# Builds (without tests), starts a virtual X server, the simulator at 100
# meter events a second with its studio life, and the display on private
# loopback ports and a private settings store. Prints the display's resident
# memory (VmRSS) every 30 s and, at the end, its growth since the first
# minute (the warm-up). Exits 1 if the display died, 2 if it grew by 1 MB or
# more. Not part of CI: it takes as long as it is told to.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

minutes=${1:-10}
case "$minutes" in '' | *[!0-9]*) echo "soak.sh: minutes must be a whole number" >&2; exit 2 ;; esac
[ "$minutes" -ge 2 ] || { echo "soak.sh: at least 2 minutes (1 is warm-up)" >&2; exit 2; }
limit_kb=${VM_SOAK_LIMIT_KB:-1024}

# VM_SOAK_NO_BUILD=1 uses the binaries already in $VM_BUILD_DIR/bin as they are.
build=${VM_BUILD_DIR:-build}
[ "${VM_SOAK_NO_BUILD:-0}" = 1 ] || tools/setup.sh -DBUILD_TESTING=OFF >/dev/null
case "$build" in /*) bin="$build/bin" ;; *) bin="$root/$build/bin" ;; esac

work=$(mktemp -d)
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/Orvendel"
# Ports of this run's own, so a soak never meets a test or a demo.
send_port=$((40000 + $$ % 2000 * 2))
recv_port=$((send_port + 1))
cat >"$XDG_CONFIG_HOME/Orvendel/Vontra Meters.conf" <<CONF
[General]
udp_send=$send_port
udp_recv=$recv_port
remote_host=127.0.0.1
CONF

pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

display=:$((200 + $$ % 100))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$bin/vontra-console-sim" --port "$send_port" --target "127.0.0.1:$recv_port" --rate 100 \
    >"$work/sim.log" 2>&1 &
pids+=($!)
"$bin/vontra-meters" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)

rss() { awk '/^VmRSS:/ {print $2}' "/proc/$app/status" 2>/dev/null || echo 0; }

echo "soak: $minutes min, display pid $app, console 127.0.0.1:$send_port, 100 meter events/s"
printf '%8s %10s\n' "time" "RSS kB"
warm=""
steps=$((minutes * 2))
for step in $(seq 0 "$steps"); do
    [ "$step" -eq 0 ] || sleep 30
    if ! kill -0 "$app" 2>/dev/null; then
        echo "soak: the display died after $((step * 30)) s" >&2
        tail -n 20 "$work/app.log" >&2
        exit 1
    fi
    now=$(rss)
    printf '%5d:%02d %10d\n' $((step * 30 / 60)) $((step * 30 % 60)) "$now"
    [ "$step" -eq 2 ] && warm=$now
done
growth=$((now - warm))
echo "soak: RSS after warm-up (1:00) $warm kB, at the end $now kB, growth $growth kB (limit $limit_kb kB)"
[ "$growth" -lt "$limit_kb" ] || exit 2
