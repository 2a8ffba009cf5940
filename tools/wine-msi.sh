#!/usr/bin/env bash
# The Windows Installer package under Wine, used as studio IT would, in a
# fresh prefix on a private X display against the Linux console simulator:
#  1. `msiexec /i MSI /qn AUTOSTART=1` installs the program into Program Files
#     with the Start-menu shortcut, the "Apps & features" entry and the
#     autostart entry; the program started from the shortcut goes online, and
#     a new Wine session (a logon) starts it from the autostart entry;
#  2. a build with a higher version and one file less upgrades it in place,
#     and the older package is then refused;
#  3. `msiexec /x … /qn` leaves no file or registry key of the package (lists
#     of drive C: and of HKLM\Software and HKCU\Software before and after);
#     the operator's settings and another program's autostart entry stay;
#  4. installed with CONSOLE_LIBRARY=maker, an independently built vontra.dll
#     put beside the program loads and stays unchanged through a refused
#     switch back to the stand-in, a repair, an upgrade (fourth version field
#     only) and the removal.
# Run by tools/windows.sh; about 50 s.
#
#   tools/wine-msi.sh MSI FOLDER
#     MSI     the package (tools/windows.sh makes it beside the ZIP)
#     FOLDER  the runnable folder it was made of, for the upgrade builds
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

[ $# -eq 2 ] || { echo "usage: $0 MSI FOLDER" >&2; exit 2; }
msi=$(realpath "$1")
folder=$(realpath "$2")
version=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
readonly online_within_s=20

# shellcheck source=tools/wine-stage.sh
. "$root/tools/wine-stage.sh"
# Shortcuts made in the prefix must not reach this machine's own menus.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

t0=$SECONDS
fail() {
    echo "wine-msi: $*" >&2
    echo "--- simulator:" >&2
    tail -n 5 "$work/sim.log" >&2 || true
    exit 1
}
step() { echo "--- $* ($((SECONDS - t0)) s)"; }

drive_c=$WINEPREFIX/drive_c
install_dir=$drive_c/Program\ Files/Orvendel/Vontra\ Meters
install_win='C:\Program Files\Orvendel\Vontra Meters'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'

# msiexec ARGS...: one run, silent, with a verbose log. Wine hands on the
# low 8 bits of its exit code only.
msiexec() {
    echo "msiexec $* /qn"
    wine msiexec "$@" /qn /l*v "$(winepath -w "$work/msiexec.log")" || {
        local status=$?
        tail -n 20 "$work/msiexec.log" >&2
        fail "msiexec $* failed ($status)"
    }
}
# refused REASON ARGS...: msiexec must stop at the package's launch conditions.
refused() {
    local reason=$1
    shift
    if wine msiexec "$@" /qn /l*v "$(winepath -w "$work/msiexec.log")" >/dev/null 2>&1 ||
        ! grep -aqE 'LaunchConditions\. Return value [^1]' "$work/msiexec.log"; then
        fail "msiexec $* did not refuse $reason"
    fi
    echo "msiexec $* /qn: refused, $reason"
}
reg_query() { wine reg query "$@" 2>/dev/null | tr -d '\r'; }

# The "Apps & features" entries of the package: DisplayName, DisplayVersion
# and Publisher of each, one line per entry.
arp_entries() {
    reg_query "$uninstall_key" /s | awk '
        /^HKEY/ { if (name == "Vontra Meters") print name "|" ver "|" pub; name = ver = pub = "" }
        $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
        $1 == "DisplayVersion" { ver = $3 }
        $1 == "Publisher" { pub = $3 }
        END { if (name == "Vontra Meters") print name "|" ver "|" pub }'
}
# The entry's icon: Windows Installer keeps it with the product's
# registration (ProductIcon), where "Apps & features" takes it from.
product_icon() {
    reg_query 'HKLM\Software\Classes\Installer\Products' /s | awk '
        /^HKEY/ { if (name == "Vontra Meters") print icon; name = icon = "" }
        $1 == "ProductName" { sub(/^ *ProductName +REG_SZ +/, ""); name = $0 }
        $1 == "ProductIcon" { sub(/^ *ProductIcon +REG_SZ +/, ""); icon = $0 }
        END { if (name == "Vontra Meters") print icon }'
}
check_one_entry() {
    local entries icon
    entries=$(arp_entries)
    echo "Apps & features: ${entries:-none}"
    [ "$(grep -c . <<<"$entries")" -eq 1 ] || fail "not exactly one entry"
    IFS='|' read -r _ ver pub <<<"$entries"
    [ "$ver" = "$1" ] || fail "entry version $ver, not $1"
    [ "$pub" = Orvendel ] || fail "entry publisher $pub"
    icon=$(product_icon)
    echo "its icon: $icon"
    cmp -s "$(winepath -u "$icon" 2>/dev/null)" resources/ico/BelvaneIcon256x256Border.ico ||
        fail "the entry has not the program's icon"
}

# Every file and folder of drive C: and every key and value of HKLM\Software
# and HKCU\Software, one line each; less the operator's settings, Wine's own
# keys (Software\Wine) and the folder of Windows Installer's own cache, which
# every Windows PC has (its contents count).
snapshot() {
    (cd "$drive_c" && find . ! -path ./windows/Installer | LC_ALL=C sort) >"$work/$1.files"
    local hive
    : >"$work/$1.keys"
    for hive in 'HKLM\Software' 'HKCU\Software'; do
        wine reg export "$hive" "$(winepath -w "$work/export.reg")" /y >/dev/null 2>&1 ||
            fail "reg export $hive"
        iconv -f UTF-16LE -t UTF-8 "$work/export.reg" | tr -d '\r' |
            awk '/^\[/ { key = $0; print key; next } NF { print key " " $0 }' |
            grep -Ev '^\[HKEY_(CURRENT_USER\\Software\\Orvendel\\Vontra Meters|[A-Z_]+\\Software\\Wine)[]\\]' \
                >>"$work/$1.keys"
    done
    LC_ALL=C sort -o "$work/$1.keys" "$work/$1.keys"
}
# Windows Installer's own registration keys, which stay when the last product
# goes (every Windows PC has them); keys only, nothing under them.
readonly installer_keys='^> \[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer(\\(Features|Products|UpgradeCodes))?|Microsoft\\Windows\\CurrentVersion\\Installer\\(UpgradeCodes|UserData(\\S-1-5-18(\\(Components|Products))?)?))\]$'
# compare_snapshot NAME: what differs from the snapshot before the first install.
compare_snapshot() {
    local what all diff
    for what in files keys; do
        all=$(diff "$work/before.$what" "$work/$1.$what" | grep '^[<>]') || true
        diff=$(grep -Ev "$installer_keys" <<<"$all") || true
        echo "$what: $(grep -c . <"$work/before.$what") before, $(grep -c . <"$work/$1.$what") after;" \
            "$(($(grep -c . <<<"$all") - $(grep -c . <<<"$diff"))) of them Windows Installer's own," \
            "$(grep -c . <<<"$diff") others differ"
        [ -z "$diff" ] || { echo "$diff" | head -n 40; fail "the package left $what behind"; }
    done
}

# The display processes of this prefix, with their Windows command lines.
programs() {
    local p
    for p in $(pgrep -f 'vontra-meters\.exe' || true); do
        grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$p/environ" || continue
        echo "$p $(tr '\0' ' ' <"/proc/$p/cmdline")"
    done 2>/dev/null
}
# wait_online N: the display runs from Program Files and the simulator has its
# Nth request batch (sent when the first meter levels arrive: online).
wait_online() {
    local i
    for i in $(seq $((online_within_s * 10))); do
        [ "$(grep -c "recv request 107 from 127.0.0.1:$recv_port" "$work/sim.log")" -ge "$1" ] && break
        sleep 0.1
    done
    [ "$i" -lt $((online_within_s * 10)) ] || fail "not online within $online_within_s s"
    running=$(programs)
    echo "online within $((i / 10)).$((i % 10)) s; running: $(cut -d' ' -f2- <<<"$running")"
    grep -qF "$install_win\\vontra-meters.exe" <<<"$running" || fail "the display does not run from $install_win"
}
# A close message to the window, as a click on its close box; repeated, since
# one that comes while the window is still being set up can go unseen.
stop_programs() {
    for i in $(seq 100); do
        [ -n "$(programs)" ] || return 0
        [ $((i % 20)) -ne 1 ] || wine taskkill /im vontra-meters.exe >/dev/null 2>&1 || true
        sleep 0.1
    done
    fail "the display did not end: $(programs)"
}

# The upgrade builds, from the same folder: a higher version without the
# simulator (its file must go), and one that differs in the fourth field only.
IFS=. read -r major minor build _ <<<"$version"
upgrade_version=$major.$minor.$((build + 1)).0
rebuild_version=$major.$minor.$build.1
cp -a "$folder" "$work/upgrade"
rm "$work/upgrade/vontra-console-sim.exe"
packaging/windows/make-msi.sh "$work/upgrade" "$upgrade_version" "$work/upgrade.msi"
packaging/windows/make-msi.sh "$folder" "$rebuild_version" "$work/rebuild.msi"

# An independently made console-link library: the eight functions, no link.
cat >"$work/maker.c" <<'EOF'
#define EXPORT __declspec(dllexport)
typedef void (*callback)(const void *event, void *user);
EXPORT int vontra_open(const char *host, int recv_port, int send_port) { return 0; }
EXPORT int vontra_logging(int handle, int on) { return 0; }
EXPORT int vontra_register_callback(int handle, callback cb, void *user) { return 0; }
EXPORT int vontra_request(int handle, int event_id) { return 0; }
EXPORT int vontra_remote_on(int handle, int module, int value) { return 0; }
EXPORT int vontra_remote_non_stop(int handle, int value) { return 0; }
EXPORT int vontra_close(int handle) { return 0; }
EXPORT const char *vontra_library_version(int reserved) { return "maker's test library"; }
EOF
x86_64-w64-mingw32-gcc -shared -s -o "$work/vontra.dll" "$work/maker.c"
maker_sum=$(sha256sum <"$work/vontra.dll")

store_link_settings
# A neighbour in the autostart key, as on any PC: the removal must leave it.
wine reg add "$run_key" /v 'Studio Clock' /d 'C:\Studio\clock.exe' /f >/dev/null 2>&1
"$sim" --port "$send_port" --target "127.0.0.1:$recv_port" --quiet-life --verbose \
    2>"$work/sim.log" &
pids+=($!)
# What a Wine session makes at its start is there before the first list.
wineserver -k
wineserver -w
wine wineboot >/dev/null 2>&1
snapshot before

step "1. install $version with AUTOSTART=1"
msiexec /i "$(winepath -w "$msi")" AUTOSTART=1
installed=$(cd "$install_dir" && find . -type f | LC_ALL=C sort)
echo "$(grep -c . <<<"$installed") files in $install_win"
diff <(echo "$installed") <(cd "$folder" && find . -type f | LC_ALL=C sort) ||
    fail "the installed files are not those of $folder"
# Windows puts a per-machine shortcut in the common Start menu; Wine's
# msiexec in the user's.
shortcut=$(find "$drive_c/ProgramData" "$drive_c/users" -path '*/Start Menu/Programs/Vontra Meters.lnk' |
    head -n 1)
[ -n "$shortcut" ] || fail "no Start-menu shortcut"
echo "shortcut: ${shortcut#"$drive_c"/}"
strings -el "$shortcut" | grep -qF 'VontraMeters.ico' || fail "the shortcut has not the program's icon"
check_one_entry "$version"
autostart=$(reg_query "$run_key" /v 'Vontra Meters' | sed -n 's/^ *Vontra Meters *REG_SZ *//p')
echo "autostart: $autostart"
[ "$autostart" = "\"$install_win\\vontra-meters.exe\"" ] || fail "no autostart entry"

wine start /unix "$shortcut"
wait_online 1
stop_programs
# A new session: Wine's start runs the autostart entries, as a logon does.
wineserver -k
wineserver -w
wine wineboot >/dev/null 2>&1
wait_online 2
stop_programs

step "2. upgrade to $upgrade_version"
msiexec /i "$(winepath -w "$work/upgrade.msi")"
check_one_entry "$upgrade_version"
[ ! -e "$install_dir/vontra-console-sim.exe" ] || fail "a file of the old version stayed"
[ -f "$install_dir/vontra-meters.exe" ] || fail "no program after the upgrade"
reg_query "$run_key" /v 'Vontra Meters' | grep -q REG_SZ || fail "the upgrade lost the autostart entry"
echo "$(cd "$install_dir" && find . -type f | grep -c .) files, without the simulator; autostart kept"
refused "an older version" /i "$(winepath -w "$msi")"

step "3. remove"
msiexec /x "$(winepath -w "$work/upgrade.msi")"
snapshot removed
compare_snapshot removed
reg_query 'HKCU\Software\Orvendel\Vontra Meters' /v udp_send | grep -q "0x$(printf %x "$send_port")" ||
    fail "the operator's settings are gone"
echo "the operator's settings stay"

step "4. install $version with CONSOLE_LIBRARY=maker, the maker's vontra.dll beside it"
msiexec /i "$(winepath -w "$msi")" CONSOLE_LIBRARY=maker
[ ! -e "$install_dir/vontra.dll" ] || fail "the stand-in library was installed"
cp "$work/vontra.dll" "$install_dir/vontra.dll"
wine "$install_win\\vontra-meters.exe" >"$work/app.log" 2>&1 &
pids+=($!)
timeout 20 xdotool search --sync --onlyvisible --name '^Vontra Meters$' >/dev/null ||
    fail "the display did not come up with the maker's vontra.dll"
sleep 2 # the stand-in would have the simulator's answer by now
[ "$(grep -c "recv request 107" "$work/sim.log")" -eq 2 ] || fail "the display talks through a stand-in"
echo "the display runs with the maker's vontra.dll (it opens no link: offline)"
stop_programs
keeps() {
    [ "$(sha256sum <"$install_dir/vontra.dll")" = "$maker_sum" ] || fail "$1 replaced the maker's vontra.dll"
    echo "the maker's vontra.dll is unchanged after $1"
}
refused "the stand-in in place of the maker's file" /i "$(winepath -w "$msi")" CONSOLE_LIBRARY=stand-in
keeps "the refused switch"
# Wine's msiexec /f takes no package, only a product code: the same repair by its properties.
msiexec /i "$(winepath -w "$msi")" REINSTALL=ALL REINSTALLMODE=amus
keeps "the repair"
msiexec /i "$(winepath -w "$work/rebuild.msi")"
check_one_entry "$rebuild_version"
keeps "the upgrade to $rebuild_version"
msiexec /x "$(winepath -w "$work/rebuild.msi")"
keeps "the removal"
left=$(cd "$drive_c" && find "Program Files/Orvendel")
[ "$left" = "$(printf 'Program Files/Orvendel\nProgram Files/Orvendel/Vontra Meters\nProgram Files/Orvendel/Vontra Meters/vontra.dll')" ] ||
    fail "left beside the maker's file: $left"
rm -r "$drive_c/Program Files/Orvendel"
snapshot removed-maker
compare_snapshot removed-maker
echo "installer checks passed in $((SECONDS - t0)) s"
