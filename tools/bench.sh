#!/usr/bin/env bash
# The benchmark suite (method and latest results: docs/performance.md).
#
#   tools/bench.sh [--quick] [--runs N] [--seconds S] [--pairs N] [--build-dir DIR]
#                  [--samples FILE]
#
# Builds the program and bench/ (tools/setup.sh installs what is missing),
# starts a private virtual X server (software rendering) and a private
# settings store, and measures, each several times: CPU offline and online
# (program and X server separately), event-to-pixel latency, start-up and peak
# memory against a one-label Qt window, the rescale pass, the longest block
# of the GUI thread and the time to the final frame after a resize, the
# meter repaints, and the live display against its floor (four bars on a
# 10 ms tick) in interleaved pairs. Prints one table of medians.
#
# Full run: 3 runs of every figure, CPU over 30 s per run, then 5 pairs of
# 15 s against the floor at each of two sizes (about 25 minutes);
# exits 3 when a target is missed. --quick: one short run of everything (about
# a minute after the build), for a smoke test; targets are shown but not
# enforced. Set VM_BENCH_BUILD_DIR (or --build-dir) to reuse a build tree.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

quick=0
runs=3
seconds=30
pairs=""
build_dir=${VM_BENCH_BUILD_DIR:-$root/build-bench}
samples_out=""
while [ $# -gt 0 ]; do
    case "$1" in
    --quick) quick=1; shift ;;
    --runs) runs=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --pairs) pairs=$2; shift 2 ;;
    --build-dir) build_dir=$2; shift 2 ;;
    --samples) samples_out=$2; shift 2 ;;
    -h | --help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "bench.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

if [ "$quick" -eq 1 ]; then
    runs=1; seconds=3; warmup=2; steps=30; floor_seconds=6; startups=2; passes=2; changes=100
    pairs=${pairs:-1}; pair_seconds=3
else
    warmup=5; steps=200; floor_seconds=8; startups=5; passes=5; changes=1000
    pairs=${pairs:-5}; pair_seconds=15
fi
[ "$pairs" -ge 1 ] && [ "$pairs" -le 20 ] || { echo "bench.sh: --pairs 1..20" >&2; exit 2; }
[ "$runs" -ge 1 ] && [ "$runs" -le 20 ] || { echo "bench.sh: --runs 1..20" >&2; exit 2; }
[ "$seconds" -ge 1 ] && [ "$seconds" -le 600 ] || { echo "bench.sh: --seconds 1..600" >&2; exit 2; }

# ------------------------------------------------------------------ build
VM_BUILD_DIR=$build_dir VM_BUILD_TYPE=${VM_BUILD_TYPE:-RelWithDebInfo} \
    tools/setup.sh -DBUILD_TESTING=OFF -DVM_WERROR=ON >"${TMPDIR:-/tmp}/vm-bench-build.$$.log" 2>&1 || {
    tail -n 40 "${TMPDIR:-/tmp}/vm-bench-build.$$.log" >&2
    echo "bench.sh: build failed" >&2
    exit 1
}
rm -f "${TMPDIR:-/tmp}/vm-bench-build.$$.log"
bin=$build_dir/bin
for b in vontra-meters vontra-console-sim vm-bench-harness vm-bench-label vm-bench-stamp vm-bench-floor; do
    [ -x "$bin/$b" ] || { echo "bench.sh: $bin/$b was not built" >&2; exit 1; }
done

# ------------------------------------------------------------------ set-up
tmp=$(mktemp -d "${TMPDIR:-/tmp}/vm-bench.XXXXXX")
samples=$tmp/samples.txt
: >"$samples"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT

# A private settings store: the operator's own is never touched.
export XDG_CONFIG_HOME=$tmp/config
conf="$XDG_CONFIG_HOME/Orvendel/Vontra Meters.conf"
console_port=$((52000 + ($$ % 400) * 10))
display_port=$((console_port + 1))
write_conf() {
    mkdir -p "$(dirname "$conf")"
    printf '[General]\nremote_host=127.0.0.1\nudp_send=%d\nudp_recv=%d\n' \
        "$console_port" "$display_port" >"$conf"
}

# One virtual X server, large enough for every window size measured.
display=""
for n in $(seq 150 199); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "bench.sh: no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 3840x2160x24 -nolisten tcp -noreset >"$tmp/xvfb.log" 2>&1 &
xvfb=$!
pids+=("$xvfb")
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || { echo "bench.sh: Xvfb did not start" >&2; exit 1; }

now_ns() { date +%s%N; }
# CPU time of a process so far, in microseconds: the run time of each of its
# threads (/proc/PID/task/*/schedstat, in nanoseconds). The clock ticks of
# /proc/PID/stat are 10 ms: an idle program's 0.5 % of a core over 30 s is
# 15 of them, too coarse for the ratios.
cpu_us() {
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ ns += $1 } END { printf "%.0f\n", ns / 1000 }'
}
# Percent of one core: microseconds of CPU time over nanoseconds of wall time.
core_pct() { awk -v d="$1" -v ns="$2" 'BEGIN { printf "%.3f", 100 * d / 1e6 / (ns / 1e9) }'; }
peak_kb() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"; }
# Context switches so far of each thread of a process: "tid name count" lines.
# A thread that sleeps and wakes switches once per wake-up.
thread_switches() {
    local t
    for t in /proc/"$1"/task/*; do
        [ -r "$t/status" ] || continue
        printf '%s %s %s\n' "${t##*/}" "$(tr ' ' '_' <"$t/comm")" \
            "$(awk '/^voluntary_ctxt_switches/ { print $2 }' "$t/status")"
    done
}
sample() { echo "sample $1 $2" >>"$samples"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

start_sim() { # rate [life]: with "life", the studio's own life as well
    local quiet=(--quiet-life)
    [ "${2:-}" = life ] && quiet=()
    "$bin/vontra-console-sim" --port "$console_port" --target "127.0.0.1:$display_port" \
        --rate "$1" --seed 7 "${quiet[@]}" --verbose 2>"$tmp/sim.log" &
    sim=$!
    pids+=("$sim")
    for _ in $(seq 50); do grep -q "console listening" "$tmp/sim.log" && return 0; sleep 0.1; done
    echo "bench.sh: the simulator did not start:" >&2
    cat "$tmp/sim.log" >&2
    exit 1
}

stop() { kill "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; }

# CPU of the real program (and of the X server) over $seconds, after $warmup.
cpu_run() { # name rate(0 = offline) width height [life] [seconds]
    local name=$1 rate=$2 w=$3 h=$4 life=${5:-} seconds=${6:-$seconds} sim="" app id a0 a1 x0 x1 t0 t1
    write_conf
    [ "$rate" -gt 0 ] && start_sim "$rate" "$life"
    "$bin/vontra-meters" >"$tmp/app.log" 2>&1 &
    app=$!
    pids+=("$app")
    id=$(timeout 10 xdotool search --sync --onlyvisible --name '^Vontra Meters$' | head -n 1)
    # There is no window manager: place and size the window directly.
    xdotool windowmove "$id" 0 0 windowsize "$id" "$w" "$h"
    sleep "$warmup"
    kill -0 "$app" || { echo "bench.sh: vontra-meters died" >&2; exit 1; }
    if [ "$rate" -gt 0 ] && ! grep -q "recv request" "$tmp/sim.log"; then
        echo "bench.sh: the program never talked to the simulator" >&2
        exit 1
    fi
    a0=$(cpu_us "$app"); x0=$(cpu_us "$xvfb"); t0=$(now_ns)
    thread_switches "$app" >"$tmp/switches0"
    sleep "$seconds"
    a1=$(cpu_us "$app"); x1=$(cpu_us "$xvfb"); t1=$(now_ns)
    thread_switches "$app" >"$tmp/switches1"
    sample "rss_${name}_kb" "$(peak_kb "$app")"
    # Wake-ups a second of each thread, summed by thread name.
    awk -v s="$seconds" -v n="$name" 'NR == FNR { a[$1] = $3; next }
        { w[$2] += $3 - a[$1] } END { for (t in w) printf "sample wakeups_%s_%s %.1f\n", n, t, w[t] / s }' \
        "$tmp/switches0" "$tmp/switches1" >>"$samples"
    stop "$app"
    [ -n "$sim" ] && stop "$sim"
    sample "cpu_${name}_app_pct" "$(core_pct $((a1 - a0)) $((t1 - t0)))"
    sample "cpu_${name}_x_pct" "$(core_pct $((x1 - x0)) $((t1 - t0)))"
}

# The same for the one-label window with an idle 10 ms timer, under the
# program's platform choices: what the meter tick costs on this machine before
# the program does anything in it.
tick_run() {
    local app a0 a1 t0 t1
    "$bin/vm-bench-label" --lean --tick >/dev/null 2>&1 &
    app=$!
    pids+=("$app")
    timeout 10 xdotool search --sync --onlyvisible --name '^vm-bench-label$' >/dev/null
    sleep "$warmup"
    a0=$(cpu_us "$app"); t0=$(now_ns)
    sleep "$seconds"
    a1=$(cpu_us "$app"); t1=$(now_ns)
    stop "$app"
    sample "cpu_tick_reference_app_pct" "$(core_pct $((a1 - a0)) $((t1 - t0)))"
    # Side by side with the offline program measured just before.
    awk '$1 == "sample" && $2 == "cpu_offline_1920x1080_app_pct" { p = $3 }
         $1 == "sample" && $2 == "cpu_tick_reference_app_pct" { r = $3 }
         END { if (r > 0) printf "sample idle_ratio %.3f\n", p / r }' "$samples" >>"$samples"
}

# The floor of the live display (bench/floor.cpp), measured like cpu_run:
# the program and the X server over the window, after the warm-up.
floor_run() { # name width height seconds
    local name=$1 w=$2 h=$3 seconds=$4 app id a0 a1 x0 x1 t0 t1
    "$bin/vm-bench-floor" >/dev/null 2>&1 &
    app=$!
    pids+=("$app")
    id=$(timeout 10 xdotool search --sync --onlyvisible --name '^vm-bench-floor$' | head -n 1)
    xdotool windowmove "$id" 0 0 windowsize "$id" "$w" "$h"
    sleep "$warmup"
    a0=$(cpu_us "$app"); x0=$(cpu_us "$xvfb"); t0=$(now_ns)
    sleep "$seconds"
    a1=$(cpu_us "$app"); x1=$(cpu_us "$xvfb"); t1=$(now_ns)
    stop "$app"
    sample "cpu_${name}_app_pct" "$(core_pct $((a1 - a0)) $((t1 - t0)))"
    sample "cpu_${name}_x_pct" "$(core_pct $((x1 - x0)) $((t1 - t0)))"
}

# One pair: the live display (50 events/s, the studio's life on) and the
# floor, one right after the other, so that both see the same machine; the
# pair's ratios are samples of their own.
floor_pair() { # width height
    local key=$1x$2 side
    cpu_run "live_$key" 50 "$1" "$2" life "$pair_seconds"
    floor_run "floor_$key" "$1" "$2" "$pair_seconds"
    for side in app x; do
        awk -v k="$key" -v s="$side" '$1 == "sample" && $2 == "cpu_live_" k "_" s "_pct" { a = $3 }
             $1 == "sample" && $2 == "cpu_floor_" k "_" s "_pct" { b = $3 }
             END { if (b > 0) printf "sample floor_ratio_%s_%s %.3f\n", k, s, a / b }' \
            "$samples" >>"$samples"
    done
}

harness() {
    "$bin/vm-bench-harness" "$@" >>"$samples" 2>>"$tmp/harness.log" || {
        echo "bench.sh: vm-bench-harness $* failed:" >&2
        tail -n 20 "$tmp/harness.log" >&2
        exit 1
    }
}

echo "bench: $( [ "$quick" -eq 1 ] && echo quick || echo full ) run, $runs run(s), CPU over ${seconds} s," \
    "load at start $(load), $(nproc) cores" >&2
load_start=$(load)

for run in $(seq "$runs"); do
    echo "bench: run $run of $runs (load $(load))" >&2
    # Start-up and peak memory against the one-label window, alternating; the
    # lean label makes the program's platform choices.
    write_conf
    harness geometry 1920x1080 # the next starts restore a 1920 x 1080 window
    for _ in $(seq "$startups"); do
        "$bin/vm-bench-stamp" "$bin/vm-bench-harness" startup >>"$samples" 2>>"$tmp/harness.log"
        "$bin/vm-bench-stamp" "$bin/vm-bench-label" >>"$samples" 2>>"$tmp/harness.log"
        "$bin/vm-bench-stamp" "$bin/vm-bench-label" --lean >>"$samples" 2>>"$tmp/harness.log"
    done
    "$bin/vm-bench-label" --stay 3 >>"$samples"
    "$bin/vm-bench-label" --lean --stay 3 >>"$samples"

    cpu_run offline_1920x1080 0 1920 1080
    tick_run
    cpu_run r50_986x650 50 986 650
    cpu_run r50_1920x1080 50 1920 1080
    cpu_run r50_3840x2160 50 3840 2160
    cpu_run r1000_1920x1080 1000 1920 1080

    write_conf
    harness drive --rate 50 --steps "$steps" --size 1920x1080 --port "$console_port" \
        --floor-seconds "$floor_seconds"
    harness drive --rate 1000 --steps "$steps" --size 1920x1080 --port "$console_port" \
        --floor-seconds "$floor_seconds"
    harness rescale --size 1920x1080 --passes "$passes"
    harness rescale --size 3840x2160 --passes "$passes"
    harness resize --size 1920x1080 --resizes "$passes"
    harness resize --size 3840x2160 --resizes "$passes"
    harness changes --size 1920x1080 --count "$changes"
done
# The live display against its floor, in pairs, the two sizes taking turns.
for pair in $(seq "$pairs"); do
    echo "bench: pair $pair of $pairs against the floor (load $(load))" >&2
    floor_pair 1920 1080
    floor_pair 986 650
done
load_end=$(load)
[ -n "$samples_out" ] && cp "$samples" "$samples_out"

# ------------------------------------------------------------------ table
values() { awk -v n="$1" '$1 == "sample" && $2 == n { print $3 }' "$samples" | sort -g; }
median() {
    values "$1" | awk '{ a[NR] = $1 } END {
        if (NR == 0) print "nan"; else if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}
# Nearest-rank percentile of all samples of a name.
pct() {
    values "$1" | awk -v p="$2" '{ a[NR] = $1 } END {
        if (NR == 0) { print "nan"; exit } r = int(p / 100 * NR + 0.999999); if (r < 1) r = 1; print a[r] }'
}
count() { values "$1" | wc -l; }
sum() { values "$1" | awk '{ s += $1 } END { print s + 0 }'; }
le() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a == a + 0 && a <= b) }'; }

missed=0
row() { # figure value target ok(0/1)
    local verdict=met
    if [ "$4" != 1 ]; then verdict=MISSED; missed=$((missed + 1)); fi
    printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$verdict"
}
check() { if le "$1" "$2"; then echo 1; else echo 0; fi; }
f() { awk -v v="$1" -v d="${2:-2}" 'BEGIN { if (v != v + 0) print v; else printf "%.*f", d, v }'; }

echo
echo "Vontra Meters benchmark ($( [ "$quick" -eq 1 ] && echo quick || echo full ), medians of $runs run(s);" \
    "Xvfb software rendering; load $load_start at start, $load_end at end)"
echo
echo "| figure | measured | target | |"
echo "|---|---|---|---|"
for c in "offline_1920x1080 offline, clocks only, 1920 x 1080 0.3" \
    "r50_986x650 online 50 events/s, 986 x 650 3" \
    "r50_1920x1080 online 50 events/s, 1920 x 1080 4" \
    "r50_3840x2160 online 50 events/s, 3840 x 2160 8" \
    "r1000_1920x1080 online 1000 events/s, 1920 x 1080 10"; do
    key=${c%% *}
    rest=${c#* }
    target=${rest##* }
    label=${rest% *}
    a=$(median "cpu_${key}_app_pct")
    x=$(median "cpu_${key}_x_pct")
    row "CPU, $label" "program $(f "$a")%, X server $(f "$x")% of one core" \
        "program <= $target%" "$(check "$a" "$target")"
done
for key in 1920x1080 986x650; do
    fa=$(median "cpu_floor_${key}_app_pct")
    fx=$(median "cpu_floor_${key}_x_pct")
    printf '| %s | %s | %s | %s |\n' "reference: the floor (four bars on a 10 ms tick), ${key/x/ x }" \
        "program $(f "$fa")%, X server $(f "$fx")% of one core" "(the live display's floor)" "info"
    for side in app x; do
        r=$(median "floor_ratio_${key}_${side}")
        what=program
        [ "$side" = x ] && what="X server"
        row "live display (50 events/s, studio life) against the floor, ${key/x/ x }, $what" \
            "x $(f "$r") (display $(f "$(median "cpu_live_${key}_${side}_pct")")%; pairs $(values "floor_ratio_${key}_${side}" | awk '{ printf "%s%.2f", (NR > 1 ? "/" : ""), $1 }'))" \
            "<= 1.5 x" "$(check "$r" 1.5)"
    done
done
printf '| %s | %s | %s | %s |\n' "reference: lean one-label window with an idle 10 ms timer" \
    "$(f "$(median cpu_tick_reference_app_pct)")% of one core" "(the meter tick's floor)" "info"
ir=$(median idle_ratio)
row "CPU offline against that reference, measured one after the other" "x $(f "$ir")" "<= 1.3 x" \
    "$(check "$ir" 1.3)"
printf '| %s | %s | %s | %s |\n' "wake-ups a second offline, by thread" \
    "$(awk '$1 == "sample" && $2 ~ /^wakeups_offline_1920x1080_/ {
            t = $2; sub(/^wakeups_offline_1920x1080_/, "", t)
            c[t]++; v[t] = v[t] (c[t] > 1 ? "/" : "") sprintf("%.0f", $3) }
        END { for (t in v) { printf "%s%s %s", sep, t, v[t]; sep = ", " } }' "$samples")" \
    "(each run)" "info"
for k in lamp module; do
    v=$(median "change_${k}_1920x1080_cpu_ms")
    row "CPU per $k change, 1920 x 1080 (event to painted)" "$(f "$v" 3) ms" "<= 0.2 ms" "$(check "$v" 0.2)"
done
for r in 50 1000; do
    p50=$(pct "latency_r${r}_ms" 50)
    p99=$(pct "latency_r${r}_ms" 99)
    n=$(count "latency_r${r}_ms")
    miss=$(sum "latency_r${r}_missed")
    ok=0
    if le "$p50" 12 && le "$p99" 20 && [ "$miss" -eq 0 ]; then ok=1; fi
    row "event-to-pixel latency, $r events/s, 1920 x 1080" \
        "p50 $(f "$p50") ms, p99 $(f "$p99") ms, max $(f "$(pct "latency_r${r}_ms" 100)") ms ($n steps, $miss missed)" \
        "p50 <= 12 ms, p99 <= 20 ms" "$ok"
done
sm=$(median startup_meters_ms)
sl=$(median startup_label_ms)
ratio=$(awk -v a="$sm" -v b="$sl" 'BEGIN { printf "%.2f", a / b }')
row "start-up to first painted window (1920 x 1080)" \
    "$(f "$sm" 1) ms, one-label window $(f "$sl" 1) ms: x $ratio" "<= 1.5 x label" "$(check "$ratio" 1.5)"
sll=$(median startup_label_lean_ms)
printf '| %s | %s | %s | %s |\n' "start-up against the lean one-label window" \
    "one-label window $(f "$sll" 1) ms: x $(awk -v a="$sm" -v b="$sll" 'BEGIN { printf "%.2f", a / b }')" \
    "(what the program adds)" "info"
rl=$(median rss_label_kb)
for c in "1920x1080 1920 x 1080 40" "3840x2160 3840 x 2160 100"; do
    key=${c%% *}
    rest=${c#* }
    limit=${rest##* }
    rm_=$(median "rss_r50_${key}_kb")
    d=$(awk -v a="$rm_" -v b="$rl" 'BEGIN { printf "%.1f", (a - b) / 1024 }')
    row "peak memory, online, ${rest% *}" \
        "$(f "$(awk -v a="$rm_" 'BEGIN { print a / 1024 }')" 1) MB, one-label window $(f "$(awk -v a="$rl" 'BEGIN { print a / 1024 }')" 1) MB: $(awk -v d="$d" 'BEGIN { printf "%+.1f", d }') MB" \
        "<= +$limit MB" "$(check "$d" "$limit")"
done
rll=$(median rss_label_lean_kb)
for key in 1920x1080 3840x2160; do
    printf '| %s | %s | %s | %s |\n' "peak memory against the lean one-label window, ${key/x/ x }" \
        "one-label window $(f "$(awk -v a="$rll" 'BEGIN { print a / 1024 }')" 1) MB: $(awk -v a="$(median "rss_r50_${key}_kb")" -v b="$rll" 'BEGIN { printf "%+.1f", (a - b) / 1024 }') MB" \
        "(what the program adds)" "info"
done
for c in "1920x1080 50" "3840x2160 150"; do
    key=${c% *}
    limit=${c#* }
    v=$(median "rescale_${key}_ms")
    row "rescale pass after a resize, ${key/x/ x }" \
        "$(f "$v" 1) ms ($(count "rescale_${key}_ms") passes; first pass of a process $(f "$(median "rescale_first_${key}_ms")" 1) ms)" \
        "<= $limit ms" "$(check "$v" "$limit")"
done
for key in 1920x1080 3840x2160; do
    v=$(pct "block_${key}_ms" 100)
    row "longest GUI-thread block after a resize, ${key/x/ x }" \
        "$(f "$v" 1) ms (median of $(count "block_${key}_ms") resizes $(f "$(median "block_${key}_ms")" 1) ms)" \
        "<= 50 ms" "$(check "$v" 50)"
done
for key in 1920x1080 3840x2160; do
    v=$(pct "sharp_${key}_ms" 100)
    row "resize to the final frame on screen, ${key/x/ x }" \
        "median $(f "$(median "sharp_${key}_ms")" 1) ms, longest $(f "$v" 1) ms ($(count "sharp_${key}_ms") resizes)" \
        "<= 300 ms" "$(check "$v" 300)"
done
for r in 50 1000; do
    ch=$(median "repaint_r${r}_changes_per_s")
    pa=$(median "repaint_r${r}_paints_per_s")
    nc=$(sum "repaint_r${r}_paints_without_change")
    np=$(sum "repaint_r${r}_changes_not_painted")
    fp=$(sum "repaint_r${r}_floor_paints")
    fc=$(sum "repaint_r${r}_floor_changes")
    ok=0
    [ "$nc" -eq 0 ] && [ "$fp" -eq 0 ] && [ "$fc" -eq 0 ] && ok=1
    row "meter repaints, $r events/s (4 meters)" \
        "$(f "$pa" 1) paints/s for $(f "$ch" 1) height changes/s; $nc without a change, $np changes overtaken unpainted; at the floor: $fp paints, $fc changes" \
        "no paint without a change, none at the floor" "$ok"
done
echo
if [ "$quick" -eq 1 ]; then
    echo "quick run: $missed target(s) not met; targets are enforced only in a full run"
    exit 0
fi
if [ "$missed" -gt 0 ]; then
    echo "$missed target(s) missed"
    exit 3
fi
echo "all targets met"
