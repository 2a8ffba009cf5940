#!/usr/bin/env bash
# Builds the libFuzzer target for console datagrams with clang and runs it.
#
#   tools/fuzz.sh [seconds] [extra libFuzzer arguments...]
#
# Default 60 seconds. Builds into build-fuzz/ (or $VM_FUZZ_BUILD_DIR); the
# growing corpus stays in <build>/fuzz-corpus between runs, the seeds are
# written afresh each time. A failing input is saved in <build>/fuzz-artifacts/
# and the script fails; copy it to tests/fuzz/regressions/ with the fix.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
build_dir=${VM_FUZZ_BUILD_DIR:-build-fuzz}

# libFuzzer ships with clang's runtime libraries on Debian 12.
VM_EXTRA_PACKAGES="clang libclang-rt-14-dev ${VM_EXTRA_PACKAGES:-}" VM_BUILD_DIR=$build_dir VM_NO_BUILD=1 \
    CC=clang CXX=clang++ tools/setup.sh -DVM_FUZZ=ON -DVM_WERROR=ON
cmake --build "$build_dir" --parallel "$(nproc)" --target fuzz_datagram fuzz_seeds

seeds=$build_dir/fuzz-seeds
corpus=$build_dir/fuzz-corpus
artifacts=$build_dir/fuzz-artifacts
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$artifacts"
"$build_dir/bin/fuzz_seeds" "$seeds"
cp tests/fuzz/regressions/crash-* tests/fuzz/regressions/leak-* tests/fuzz/regressions/timeout-* \
    "$seeds"/ 2>/dev/null || true

export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The largest valid datagram is 268 bytes; a little more lets the fuzzer try
# oversized ones too.
"$build_dir/bin/fuzz_datagram" -max_total_time="$seconds" -max_len=300 -timeout=10 \
    -dict=tests/fuzz/datagram.dict -artifact_prefix="$artifacts/" -print_final_stats=1 \
    "$@" "$corpus" "$seeds"
