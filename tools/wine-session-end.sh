#!/usr/bin/env bash
# A Windows session end (logoff, shutdown) under Wine: the program must write
# its settings and close its link before Windows ends the process. Runs the
# Windows program from its runnable folder against the Linux simulator on a
# private X display, waits until it is online, ends the session with
# `wineboot --end-session` (WM_QUERYENDSESSION, WM_ENDSESSION, then the
# process is ended) and checks the settings store (the registry) for the keys
# only an end of the run writes, and the program's log for the link's end.
# Not in CI (docs/windows.md says why).
#
#   tools/wine-session-end.sh [FOLDER] [RUNS]
#     FOLDER  the runnable folder (default build-win/VontraMeters-<version>-win64)
#     RUNS    how often (default 5); exits 1 when any run lost the settings
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
folder=${1:-$(ls -d "$root"/build-win/VontraMeters-*-win64 2>/dev/null | head -n 1)}
runs=${2:-5}
[ -x "$folder/vontra-meters.exe" ] || { echo "wine-session-end: no vontra-meters.exe in '$folder'" >&2; exit 2; }
folder=$(realpath "$folder")
# shellcheck source=tools/wine-stage.sh
. "$root/tools/wine-stage.sh"

"$sim" --port "$send_port" --target "127.0.0.1:$recv_port" --quiet-life --verbose \
    2>"$work/sim.log" &
pids+=($!)

lost=0
for run in $(seq "$runs"); do
    store_link_settings # the placement keys come at the end
    wine "$folder/vontra-meters.exe" >"$work/app.log" 2>&1 &
    app=$!
    # Online, with its window up and its event loop running.
    timeout 20 xdotool search --sync --onlyvisible --name '^Vontra Meters$' >/dev/null || true
    for _ in $(seq 100); do
        [ "$(grep -c "recv request 107" "$work/sim.log")" -ge "$run" ] && break
        sleep 0.1
    done
    sleep 1
    start=$(date +%s%N)
    wine wineboot --end-session >/dev/null 2>&1
    for _ in $(seq 150); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
    ms=$((($(date +%s%N) - start) / 1000000))
    [ -z "${VM_DEBUG:-}" ] || { echo "--- app log"; tail -5 "$work/app.log"; echo "--- sim log"; grep -v meter "$work/sim.log" | tail -3; }
    kill -9 "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    keys=$(wine reg query "$store" 2>/dev/null | tr -d '\r' | grep -cE '^ +(current_screen|geometry|use_default_ports) ' || true)
    closed=$(grep -c "link 1: closing" "$work/app.log" || true)
    if [ "$keys" -eq 3 ] && [ "$closed" -ge 1 ]; then
        echo "run $run: the program ended after $ms ms with its settings written and its link closed"
    else
        echo "run $run: the program ended after $ms ms; placement keys written: $keys of 3, link closed: $closed"
        lost=$((lost + 1))
    fi
done
[ "$lost" -eq 0 ]
