# Sourced by the scripts that run the Windows program under Wine (wine-e2e.sh,
# wine-session-end.sh), with `root` set to the repository: a private stage of
# its own for each run. Builds the Linux simulator ($sim), makes a temporary
# folder ($work) with a fresh Wine prefix, starts a private X display and
# Wine's desktop process on it, picks console ports of the run's own
# ($send_port, $recv_port) and removes it all on exit; background processes
# added to $pids are stopped then.

linux_build=${VM_BUILD_DIR:-build}
cmake --build "$linux_build" --target vontra-console-sim >/dev/null
sim=$root/$linux_build/bin/vontra-console-sim

work=$(mktemp -d)
pids=()
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
unset WINEPATH
cleanup() {
    wineserver -k || true
    for p in "${pids[@]}"; do kill "$p" || true; done
    wait || true
    rm -rf "$work"
} 2>/dev/null
trap cleanup EXIT

for n in $(seq 100 199); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:$n
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# After the display: Wine's desktop process, started here, must have it, or
# the program's window cannot be made and it gets no session messages.
wine wineboot -i >/dev/null 2>&1

# Ports of this run's own, so that no other display or simulator answers.
send_port=$((40000 + $$ % 10000 * 2))
recv_port=$((send_port + 1))
store='HKCU\Software\Orvendel\Vontra Meters'

# The program's settings store (the prefix's registry) with the link settings
# only: what the program writes at the end of a run is not there yet.
store_link_settings() {
    wine reg delete "$store" /f >/dev/null 2>&1 || true
    wine reg add "$store" /v udp_send /t REG_DWORD /d "$send_port" /f >/dev/null 2>&1
    wine reg add "$store" /v udp_recv /t REG_DWORD /d "$recv_port" /f >/dev/null 2>&1
    wine reg add "$store" /v remote_host /d 127.0.0.1 /f >/dev/null 2>&1
}
