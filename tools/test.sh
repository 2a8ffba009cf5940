#!/usr/bin/env bash
# Sets up, builds with warnings as errors and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh -DVM_WERROR=ON -DBUILD_TESTING=ON
cd "${VM_BUILD_DIR:-build}"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" "$@"
