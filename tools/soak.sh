#!/usr/bin/env bash
# Long run of the display against the simulator.
#   tools/soak.sh [minutes]    (default 10)
# Builds the soak program (tests/soak: the real main window, at 1920 x 1080 on
# a virtual X server, on private loopback ports and a private settings store)
# and runs it against the simulator at 50 meter events a second with its
# studio life. Prints resident memory and CPU use every 30 s; at the end it
# fails when memory grew by 1 MB or more after the first minute (the warm-up;
# VM_SOAK_LIMIT_KB), when CPU use did not stay flat, or when the display does
# not show exactly the state the simulator last reported. Not part of CI: it
# takes as long as it is told to.
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-10}
case "$minutes" in '' | *[!0-9]*) echo "soak.sh: minutes must be a whole number" >&2; exit 2 ;; esac
[ "$minutes" -ge 2 ] || { echo "soak.sh: at least 2 minutes (1 is warm-up)" >&2; exit 2; }

build=${VM_BUILD_DIR:-build}
VM_NO_BUILD=1 tools/setup.sh -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" --target vm-soak --parallel "$(nproc)" >/dev/null

work=$(mktemp -d)
xvfb=""
cleanup() {
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for n in $(seq 200 299); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
done
Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=:$n
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# QtTest ends a test function after 5 minutes unless told otherwise.
export VM_SOAK_MINUTES=$minutes QT_QPA_PLATFORM=xcb QTEST_FUNCTION_TIMEOUT=$(((minutes + 5) * 60000))
"$build/bin/vm-soak" -o "$work/result.txt,txt" 2>"$work/stderr.log" || {
    status=$?
    cat "$work/result.txt" >&2
    exit "$status"
}
grep -E "^(PASS|FAIL)" "$work/result.txt" | grep -v "initTestCase\|cleanupTestCase" || true
