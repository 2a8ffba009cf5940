#!/usr/bin/env bash
# Installs the Debian packages on this machine, runs what they installed and
# removes them again, checking that nothing is left behind. Needs root (or
# sudo); CI runs it on its fresh machine.
#
#   tools/package-check.sh [--seconds N] [--screenshot FILE]
#
# 1. Makes the packages (tools/package.sh) and the Designer plugin test
#    (tools/setup.sh, build/).
# 2. Lists the files under /usr, /etc, /opt and /var/lib (without dpkg's and
#    apt's own records), then installs both packages with apt-get.
# 3. Checks that the program finds its console-link library by itself (no
#    LD_LIBRARY_PATH), then starts the menu command (Exec of the installed
#    desktop entry) and the installed simulator on a private virtual X server,
#    private ports and a private settings store; after N seconds (default 6)
#    the display must be running and online (it has asked the simulator for
#    the console state), and a screenshot of the live window is saved
#    (default build-package/installed.png).
# 4. Runs the Designer plugin test against the installed plugin.
# 5. Purges both packages and lists the files again: the lists must match.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=6
shot=$root/build-package/installed.png
while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --screenshot) shot=$2; shift 2 ;;
    *) echo "package-check.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
case "$shot" in /*) ;; *) shot=$root/$shot ;; esac

packages=(vontra-meters vontra-meters-designer)
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
for p in "${packages[@]}"; do
    if dpkg -s "$p" >/dev/null 2>&1; then
        echo "package-check.sh: $p is installed already; purge it first" >&2
        exit 1
    fi
done

# ------------------------------------------------------------------ 1. build
tools/package.sh
build_dir=${VM_PACKAGE_BUILD_DIR:-$root/build-package}
case "$build_dir" in /*) ;; *) build_dir=$root/$build_dir ;; esac
debs=()
for p in "${packages[@]}"; do debs+=("$(ls "$build_dir"/packages/"${p}"_*.deb)"); done
VM_NO_BUILD=1 tools/setup.sh -DVM_WERROR=ON -DBUILD_TESTING=ON >/dev/null
cmake --build build --parallel "$(nproc)" --target tst_designerplugin >/dev/null

# ------------------------------------------------------------------ 2. install
# The desktop's own caches, which the icon theme's and the desktop database's
# triggers rebuild after any install, count as the system's, not as leftovers.
snapshot() {
    find /usr /etc /opt /var/lib -xdev \( -path /var/lib/dpkg -o -path /var/lib/apt \) -prune \
        -o \( -name icon-theme.cache -o -name mimeinfo.cache \) -prune -o -print 2>/dev/null |
        sort
}
work=$(mktemp -d "${TMPDIR:-/tmp}/vm-package-check.XXXXXX")
pids=()
installed=0
purge() {
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get purge -y -qq "${packages[@]}" >/dev/null
    installed=0
}
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ "$installed" -eq 0 ] || purge
    rm -rf "$work"
}
trap cleanup EXIT

snapshot >"$work/before.txt"
echo "=== apt-get install ${debs[*]}"
installed=1
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${debs[@]}" >/dev/null

# ------------------------------------------------------------------ 3. run
program=/usr/bin/vontra-meters
library=$(env -u LD_LIBRARY_PATH ldd "$program" | awk '/libvontra/ { print $3 }')
echo "$program loads $library"
case "$library" in
/usr/lib/*/vontra-meters/libvontra.so.1) ;;
*) echo "package-check.sh: the program does not find its console-link library" >&2; exit 1 ;;
esac
desktop=$(dpkg -L vontra-meters | grep '^/usr/share/applications/.*\.desktop$')
command=$(sed -n 's/^Exec=//p' "$desktop")

export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Orvendel"
console_port=$((43000 + $$ % 1000 * 2))
display_port=$((console_port + 1))
printf '[General]\nremote_host=127.0.0.1\nudp_send=%d\nudp_recv=%d\n' "$console_port" \
    "$display_port" >"$XDG_CONFIG_HOME/Orvendel/Vontra Meters.conf"

display=""
for n in $(seq 300 349); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "package-check.sh: no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

vontra-console-sim --port "$console_port" --target "127.0.0.1:$display_port" --verbose \
    2>"$work/sim.log" &
pids+=($!)
for _ in $(seq 50); do grep -q "console listening" "$work/sim.log" && break; sleep 0.1; done

echo "=== $command, with vontra-console-sim, for $seconds s"
env -u LD_LIBRARY_PATH $command >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
# There is no window manager: size the window to the whole virtual screen.
id=$(timeout 10 xdotool search --sync --onlyvisible --name "^Vontra Meters$" | head -n 1)
xdotool windowmove "$id" 0 0 windowsize "$id" 1920 1080
sleep "$seconds"
if ! kill -0 "$app" 2>/dev/null; then
    cat "$work/app.log" >&2
    echo "package-check.sh: the display stopped" >&2
    exit 1
fi
mkdir -p "$(dirname "$shot")"
import -window root "$shot"
echo "screenshot of the live window: $shot"
# Going online, the display asks for the whole console state.
requests=$(grep -c "recv request" "$work/sim.log" || true)
echo "the simulator answered $requests requests from the display"
if [ "$requests" -eq 0 ]; then
    cat "$work/sim.log" "$work/app.log" >&2
    echo "package-check.sh: the display did not go online" >&2
    exit 1
fi
for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
wait 2>/dev/null || true
pids=()

# ------------------------------------------------------------------ 4. plugin
plugin=$(dpkg -L vontra-meters-designer | grep '\.so$')
echo "=== the Designer plugin test with $plugin"
QT_QPA_PLATFORM=offscreen VM_DESIGNER_PLUGIN=$plugin build/bin/tst_designerplugin

# ------------------------------------------------------------------ 5. purge
echo "=== apt-get purge ${packages[*]}"
purge
snapshot >"$work/after.txt"
if ! diff "$work/before.txt" "$work/after.txt" >"$work/diff.txt"; then
    echo "package-check.sh: the files differ after the purge (< before, > after):" >&2
    cat "$work/diff.txt" >&2
    exit 1
fi
echo "nothing left: $(wc -l <"$work/after.txt") files and folders as before"
