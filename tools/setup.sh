#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages), then configures and
# builds into build/ (or $VM_BUILD_DIR). Extra arguments go to cmake.
# VM_NO_BUILD=1 stops after configuring.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ pkg-config qtbase5-dev qtbase5-dev-tools qttools5-dev qttools5-dev-tools
          xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core ${VM_EXTRA_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build_dir=${VM_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=${VM_BUILD_TYPE:-RelWithDebInfo} "$@"
[ -n "${VM_NO_BUILD:-}" ] || cmake --build "$build_dir" --parallel "$(nproc)"
