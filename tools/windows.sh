#!/usr/bin/env bash
# Builds the program for 64-bit Windows on this Linux machine (Debian 12, with
# MinGW-w64 and the Qt for Windows of ../shared/toolchains), runs the test
# suites as Windows programs under Wine, lays out the runnable folder and packs
# it as a ZIP and as an MSI (packaging/windows), checks the DLL's exports and
# the program's version resource, and finally runs the program from the ZIP
# under Wine against the console simulator (tools/wine-e2e.sh) and checks the
# MSI's install, upgrade and removal there (tools/wine-msi.sh).
#
#   tools/windows.sh [--no-tests] [--no-e2e] [--screenshot FILE]
#
# Build folder: build-win/ ($VM_WIN_BUILD_DIR). Qt for Windows: the archive
# $VM_QT_WIN_ARCHIVE (default ../shared/toolchains/qt-5.15.8-mingw64.tar.xz),
# unpacked once into $VM_QT_WIN_DIR (default /opt/qt5-mingw64, or a cache
# folder when /opt cannot be written).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

tests=1
e2e=1
e2e_args=()
while [ $# -gt 0 ]; do
    case "$1" in
    --no-tests) tests=0; shift ;;
    --no-e2e) e2e=0; shift ;; # neither Wine run of the packages
    --screenshot) e2e_args+=(--screenshot "$2"); shift 2 ;;
    *) echo "windows.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

step() {
    local start=$SECONDS
    echo "--- $*"
    "$@"
    echo "--- $* took $((SECONDS - start)) s"
}
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# The Linux build's packages and folder (the simulator for the end-to-end run
# is a Linux program), plus the cross compiler, Wine, the X tools and the MSI
# tools (wixl, msitools).
setup() {
    VM_EXTRA_PACKAGES="xz-utils g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
        binutils-mingw-w64-x86-64 wine wine64 wixl msitools ${VM_EXTRA_PACKAGES:-}" VM_NO_BUILD=1 \
        tools/setup.sh >/dev/null
    # Qt and the program use std::thread: the POSIX-threads flavour of the
    # compiler (the toolchain file names it; this makes it the default too).
    for tool in gcc g++; do
        local posix=/usr/bin/x86_64-w64-mingw32-$tool-posix
        if ! update-alternatives --query x86_64-w64-mingw32-$tool | grep -x "Value: $posix" >/dev/null; then
            "${sudo_cmd[@]}" update-alternatives --set x86_64-w64-mingw32-$tool "$posix"
        fi
    done
}

find_archive() {
    if [ -n "${VM_QT_WIN_ARCHIVE:-}" ]; then
        echo "$VM_QT_WIN_ARCHIVE"
        return
    fi
    local name=qt-5.15.8-mingw64.tar.xz
    for dir in "$root/../shared/toolchains" /work/shared/toolchains; do
        [ -f "$dir/$name" ] && { echo "$dir/$name"; return; }
    done
    echo "windows.sh: $name not found; set VM_QT_WIN_ARCHIVE" >&2
    exit 1
}

# Unpacks the archive unless the folder holds this very archive already; the
# folder appears whole or not at all.
unpack_qt() {
    local archive stamp
    archive=$(find_archive)
    stamp=$(sha256sum "$archive" | cut -d' ' -f1)
    if [ -f "$qt/.archive-sha256" ] && [ "$(cat "$qt/.archive-sha256")" = "$stamp" ]; then
        echo "Qt for Windows: $qt"
        return
    fi
    echo "Unpacking $archive into $qt"
    mkdir -p "$(dirname "$qt")"
    local tmp
    tmp=$(mktemp -d "$(dirname "$qt")/.unpack.XXXXXX")
    tar -C "$tmp" -xJf "$archive"
    echo "$stamp" >"$tmp/qt5-mingw64/.archive-sha256"
    rm -rf "$qt"
    mv "$tmp/qt5-mingw64" "$qt"
    rmdir "$tmp"
}

configure_and_build() {
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
        -DCMAKE_PREFIX_PATH="$qt" -DCMAKE_BUILD_TYPE=Release -DVM_WERROR=ON -DBUILD_TESTING=ON
    cmake --build "$build" --parallel "$(nproc)"
}

wine_tests() {
    (cd "$build" && ctest --output-on-failure --parallel "$(nproc)")
}

package() {
    rm -rf "${folder:?}" "$zip" "$msi"
    cmake --install "$build" --prefix "$folder" --strip
    (cd "$build" && cpack -G ZIP)
    [ -f "$zip" ]
    packaging/windows/make-msi.sh "$folder" "$version" "$msi"
    echo "Runnable folder: $folder"
    echo "ZIP: $zip"
}

# The DLL exports the eight functions of vontra.h and nothing else; the
# program carries the project's version and names.
check_binaries() {
    local exports
    exports=$(x86_64-w64-mingw32-objdump -p "$folder/vontra.dll" |
        sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/{/Table/d;s/^.*\] //p}' | sort | tr '\n' ' ')
    local want
    want=$(sed -n 's/^VONTRA_API [^(]* \**\(vontra_[a-z_]*\)(.*/\1/p' src/link/vontra.h |
        sort | tr '\n' ' ')
    echo "vontra.dll exports: $exports"
    [ "$exports" = "$want" ] || { echo "expected exactly: $want" >&2; return 1; }

    local resource commas
    resource=$(x86_64-w64-mingw32-windres -J coff -O rc -i "$folder/vontra-meters.exe" |
        sed -n '/VERSIONINFO/,$p')
    grep -E 'FILEVERSION|PRODUCTVERSION|"(CompanyName|ProductName|FileVersion|ProductVersion)"' <<<"$resource"
    commas=${version//./, }
    for line in "FILEVERSION $commas" "PRODUCTVERSION $commas" "\"FileVersion\", \"$version\"" \
        "\"ProductVersion\", \"$version\"" '"ProductName", "Vontra Meters"' \
        '"CompanyName", "Orvendel"'; do
        grep -qF "$line" <<<"$resource" || { echo "version resource lacks: $line" >&2; return 1; }
    done
    x86_64-w64-mingw32-objdump -p "$folder/vontra-meters.exe" | grep 'Subsystem.*Windows GUI'
}

step setup
build=$(realpath -m "${VM_WIN_BUILD_DIR:-build-win}")
qt=${VM_QT_WIN_DIR:-/opt/qt5-mingw64}
if [ -z "${VM_QT_WIN_DIR:-}" ] && ! { [ -d "$qt" ] || [ -w "$(dirname "$qt")" ]; }; then
    qt=${XDG_CACHE_HOME:-$HOME/.cache}/vontra-meters/qt5-mingw64
fi
step unpack_qt
step configure_and_build
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
folder=$build/$name
zip=$build/$name.zip
msi=$build/$name.msi
[ "$tests" = 0 ] || step wine_tests
step package
step check_binaries
[ "$e2e" = 0 ] || step tools/wine-e2e.sh "$zip" "${e2e_args[@]}"
[ "$e2e" = 0 ] || step tools/wine-msi.sh "$msi" "$folder"
