#!/usr/bin/env bash
# Builds the project and its tests with sanitizers and runs the tests.
#
#   tools/sanitize.sh [address|thread] [extra ctest arguments...]
#
# address (default): gcc with AddressSanitizer, LeakSanitizer and
#   UndefinedBehaviorSanitizer (no recovery), the whole suite, in build-asan/.
# thread: gcc with ThreadSanitizer, the tests whose code runs on more than one
#   thread (labels link and app), in build-tsan/.
# $VM_BUILD_DIR overrides the build directory. Any finding fails its test.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
supp=$root/tools/sanitizers

mode=${1:-address}
[ $# -gt 0 ] && shift
case "$mode" in
address | asan)
    build_dir=${VM_BUILD_DIR:-build-asan}
    VM_BUILD_DIR=$build_dir tools/setup.sh -DVM_SANITIZE=address,undefined -DVM_WERROR=ON \
        -DBUILD_TESTING=ON
    # Full allocation stacks through Qt, which has no frame pointers, so that
    # a leak suppression can name exactly the Qt code that holds the memory.
    export ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0:halt_on_error=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:report_error_type=1
    export LSAN_OPTIONS=suppressions=$supp/lsan.supp:print_suppressions=0
    # The robustness tests hold the program to memory and latency budgets,
    # which ASan's quarantine (freed memory kept back) and slowdown make
    # meaningless; they run in the normal build.
    labels=(-LE '^robustness$')
    ;;
thread | tsan)
    build_dir=${VM_BUILD_DIR:-build-tsan}
    VM_BUILD_DIR=$build_dir VM_NO_BUILD=1 tools/setup.sh -DVM_SANITIZE=thread -DVM_WERROR=ON \
        -DBUILD_TESTING=ON
    # Only the tests that are run need building.
    mapfile -t targets < <(cd "$build_dir" && ctest -N -L '^(link|app)$' | sed -n 's/^ *Test *#[0-9]*: //p')
    cmake --build "$build_dir" --parallel "$(nproc)" --target "${targets[@]}"
    # Qt is not instrumented: ignore what interceptors do when Qt calls them
    # (tools/sanitizers/tsan.supp says why).
    export TSAN_OPTIONS=suppressions=$supp/tsan.supp:ignore_noninstrumented_modules=1:halt_on_error=1:second_deadlock_stack=1
    labels=(-L '^(link|app)$')
    ;;
*)
    echo "usage: $0 [address|thread] [ctest arguments...]" >&2
    exit 2
    ;;
esac

cd "$build_dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" "${labels[@]}" "$@"
