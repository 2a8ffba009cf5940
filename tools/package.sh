#!/usr/bin/env bash
# Builds the Debian packages and checks them.
#
#   tools/package.sh
#
# Installs what is missing (tools/setup.sh, plus CPack's and the checks'
# tools), configures a build for /usr with Debian's build flags (all the
# hardening; no debug information: the packages ship stripped binaries) in
# build-package/ (or $VM_PACKAGE_BUILD_DIR), builds what the packages hold and
# makes them with CPack in <build>/packages/:
#   vontra-meters_<version>_<arch>.deb           program, simulator, library, desktop files
#   vontra-meters-designer_<version>_<arch>.deb  the Qt Designer plugin
# Then runs lintian (fails on an error, lists the rest), desktop-file-validate
# and appstreamcli validate on the packaged files, and prints the packages'
# paths on the last lines.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=${VM_PACKAGE_BUILD_DIR:-$root/build-package}
case "$build_dir" in /*) ;; *) build_dir=$root/$build_dir ;; esac

VM_EXTRA_PACKAGES="dpkg-dev file lintian desktop-file-utils appstream ${VM_EXTRA_PACKAGES:-}" \
    VM_BUILD_DIR=$build_dir VM_NO_BUILD=1 VM_BUILD_TYPE=None tools/setup.sh \
    -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
# Debian's flags, now that dpkg-dev is there.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CFLAGS_MAINT_STRIP=-g DEB_CXXFLAGS_MAINT_STRIP=-g
flags() { dpkg-buildflags --get "$1"; }
cmake -B "$build_dir" \
    -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" \
    -DCMAKE_SHARED_LINKER_FLAGS="$(flags LDFLAGS)" \
    -DCMAKE_MODULE_LINKER_FLAGS="$(flags LDFLAGS)" >/dev/null

# Only what the packages hold: no tests, benchmarks or picture generator.
cmake --build "$build_dir" --parallel "$(nproc)" --target vm_package_contents

out=$build_dir/packages
rm -rf "$out"
(cd "$build_dir" && cpack -G DEB -B "$out" >"$out.log" 2>&1) || {
    cat "$out.log" >&2
    echo "package.sh: cpack failed" >&2
    exit 1
}
mapfile -t debs < <(ls "$out"/*.deb)
[ ${#debs[@]} -gt 0 ] || { echo "package.sh: no package made" >&2; exit 1; }

# lintian exits non-zero on errors only (its default --fail-on error).
echo "=== lintian"
lintian --display-info "${debs[@]}" || { echo "package.sh: lintian found errors" >&2; exit 1; }

echo "=== desktop-file-validate, appstreamcli validate"
check=$(mktemp -d)
trap 'rm -rf "$check"' EXIT
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$check"; done
desktop-file-validate "$check"/usr/share/applications/*.desktop
appstreamcli validate --no-net --explain "$check"/usr/share/metainfo/*.metainfo.xml

echo "=== packages"
for deb in "${debs[@]}"; do
    echo "$deb ($(du -k "$deb" | cut -f1) kB)"
done
