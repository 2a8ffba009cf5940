#!/usr/bin/env bash
# The Windows program from its ZIP, under Wine on a private X display, against
# the Linux console simulator on loopback. Checks what the operator would see:
# online within 5 s of the start, meters that move, and a click on module key 1
# that reaches the simulator and changes the key once the simulator reports
# back; the simulator's log must show the eleven requests and the click's
# command. Saves a screenshot of the window. Then a second start for the same
# receive port must end at once with status 0 and bring the first window
# forward, and closing the window must release the screen that the display
# kept awake (Wine's trace of SetThreadExecutionState: display and system
# required at start, plain ES_CONTINUOUS at the end). Run by tools/windows.sh.
#
#   tools/wine-e2e.sh ZIP [--screenshot FILE]   (default build-win/wine-e2e.png)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

[ $# -ge 1 ] || { echo "usage: $0 ZIP [--screenshot FILE]" >&2; exit 2; }
zip=$(realpath "$1")
shift
shot=$root/build-win/wine-e2e.png
while [ $# -gt 0 ]; do
    case "$1" in
    --screenshot) shot=$(realpath -m "$2"); shift 2 ;;
    *) echo "wine-e2e.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

# Where the main window's parts lie on its 986 x 650 design.
readonly design_w=986 design_h=650
readonly online_mark=(880 151)         # the green bar under the logo, online only
readonly meters=(45 70 280 430)        # x y w h: the four meter bars
readonly module1=(53 546 61 61)        # x y w h: module key 1
readonly online_within_ms=5000
readonly requests=(100 96 98 73 75 111 104 101 105 102 107)

# shellcheck source=tools/wine-stage.sh
. "$root/tools/wine-stage.sh"

fail() {
    echo "wine-e2e: $*" >&2
    echo "--- program:" >&2
    tail -n 20 "$work/app.log" >&2 || true
    echo "--- simulator:" >&2
    tail -n 20 "$work/sim.log" >&2 || true
    exit 1
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The ZIP unpacked as an operator would; nothing else on Wine's DLL path.
(cd "$work" && cmake -E tar xf "$zip")
exe=$(find "$work" -name vontra-meters.exe)
[ -n "$exe" ] || fail "no vontra-meters.exe in $zip"

store_link_settings
"$sim" --port "$send_port" --target "127.0.0.1:$recv_port" --quiet-life --verbose \
    2>"$work/sim.log" &
pids+=($!)
for _ in $(seq 50); do grep -q 'console listening' "$work/sim.log" && break; sleep 0.1; done
grep -q 'console listening' "$work/sim.log" || fail "the simulator did not start"

# Wine's own server up (and kept up) before the clock starts: its first start
# in a fresh prefix is Wine's time, not the program's.
wineserver -w
wineserver -p
wine cmd /c exit

start=$(now_ms)
# Wine reports the execution-state calls among ntdll's warnings.
WINEDEBUG=-all,warn+ntdll wine "$exe" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
window=""
for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name '^Vontra Meters$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "no window within 20 s"
eval "$(xdotool getwindowgeometry --shell "$window")"
# The window maps the design with one scale and a letter-box offset.
read -r scale dx dy < <(awk -v w="$WIDTH" -v h="$HEIGHT" -v dw=$design_w -v dh=$design_h \
    'BEGIN { s = w / dw < h / dh ? w / dw : h / dh; print s, (w - dw * s) / 2, (h - dh * s) / 2 }')
# at DESIGN_X DESIGN_Y: the screen position.
at() { awk -v s="$scale" -v ox=$((X)) -v oy=$((Y)) -v dx="$dx" -v dy="$dy" -v x="$1" -v y="$2" \
    'BEGIN { printf "%d %d\n", ox + dx + x * s, oy + dy + y * s }'; }
# crop FILE X Y W H (design): the part of the last capture.
crop() {
    local x y w h
    read -r x y < <(at "$2" "$3")
    w=$(awk -v s="$scale" -v v="$4" 'BEGIN { printf "%d", v * s }')
    h=$(awk -v s="$scale" -v v="$5" 'BEGIN { printf "%d", v * s }')
    convert "$work/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$1"
}
capture() { import -window root "$work/screen.png"; }
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

# Online: the green bar shows.
online_ms=""
read -r mx my < <(at "${online_mark[@]}")
while [ $(($(now_ms) - start)) -lt 20000 ]; do
    capture
    read -r r g < <(convert "$work/screen.png" \
        -format "%[fx:int(255*p{$mx,$my}.r)] %[fx:int(255*p{$mx,$my}.g)]\n" info:)
    if [ "$g" -gt 150 ] && [ "$r" -lt 120 ]; then
        online_ms=$(($(now_ms) - start))
        break
    fi
    sleep 0.1
done
[ -n "$online_ms" ] || fail "not online within 20 s"
echo "online ${online_ms} ms after the start"
[ "$online_ms" -le $online_within_ms ] || fail "online only after ${online_ms} ms"

# The meters move.
capture
crop "$work/meters-a.png" "${meters[@]}"
sleep 0.5
capture
crop "$work/meters-b.png" "${meters[@]}"
moved=$(differing "$work/meters-a.png" "$work/meters-b.png")
echo "meters: $moved pixels changed in 0.5 s"
[ "${moved%%.*}" -gt 0 ] || fail "the meters did not move"

# A click on module key 1 reaches the simulator; the key changes when the
# simulator reports the module on.
crop "$work/key-before.png" "${module1[@]}"
read -r kx ky < <(at $((module1[0] + module1[2] / 2)) $((module1[1] + module1[3] / 2)))
xdotool mousemove "$kx" "$ky" click 1
changed=0
for _ in $(seq 50); do
    sleep 0.1
    capture
    crop "$work/key-after.png" "${module1[@]}"
    changed=$(differing "$work/key-before.png" "$work/key-after.png")
    [ "${changed%%.*}" -gt 50 ] && break
done
grep -q 'recv remote-on module 0 value 2 from' "$work/sim.log" || fail "the click did not reach the simulator"
grep -q 'send event 96 \[1 0 0 0 0 0 0 0\]' "$work/sim.log" || fail "the simulator did not report module 1 on"
[ "${changed%%.*}" -gt 50 ] || fail "module key 1 did not change"
echo "module key 1: $changed pixels changed after the click"

for id in "${requests[@]}"; do
    grep -q "recv request $id from 127.0.0.1:$recv_port" "$work/sim.log" ||
        fail "the simulator saw no request $id"
done
echo "simulator log: the ${#requests[@]} requests and the click's command:"
grep -E 'recv (request|remote-on)' "$work/sim.log"

mkdir -p "$(dirname "$shot")"
capture
convert "$work/screen.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
echo "Screenshot of the live window: $shot"

# One display per receive port: a second start brings the first forward.
second_start=$(now_ms)
second=0
timeout 30 wine "$exe" >"$work/second.log" 2>&1 || second=$?
[ "$second" -eq 0 ] || fail "a second start for the same port ended with status $second"
echo "second start: ended with status 0 after $(($(now_ms) - second_start)) ms: $(tr -d '\r' <"$work/second.log")"
windows=$(xdotool search --onlyvisible --name '^Vontra Meters$' | wc -l)
[ "$windows" -eq 1 ] || fail "$windows windows after the second start"
grep -q 'window brought to the front' "$work/app.log" || fail "the first window was not brought forward"

# The screen kept awake from the start, released when the window closes.
xdotool key --window "$window" alt+F4 2>/dev/null
for _ in $(seq 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
! kill -0 "$app" 2>/dev/null || fail "the program did not end when its window was closed"
grep 'NtSetThreadExecutionState' "$work/app.log" | tr -d '\r'
grep -q 'NtSetThreadExecutionState (0x80000003,' "$work/app.log" || fail "the screen was not kept awake"
grep -q 'NtSetThreadExecutionState (0x80000000,' "$work/app.log" || fail "the screen was not released at the end"
