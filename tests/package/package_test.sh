#!/usr/bin/env bash
# The Debian package as a desktop receives it: built by CPack from the configured build tree,
# unpacked with dpkg -x into a scratch root, and checked there.
#
# Usage: package_test.sh CASE BUILD_DIR SCRATCH_DIR APP_ID VERSION DEB_VERSION ICON_SIZE...
#   build      makes SCRATCH_DIR/quarnex_DEB_VERSION_ARCH.deb and unpacks it into SCRATCH_DIR/root
#   desktop    desktop-file-validate on the entry: no errors, no warnings
#   metainfo   appstream-util validate-relax on the metainfo
#   layout     every file where the desktop looks for it, the references between them, the
#              icons' pixel sizes, the package's fields and the one version everywhere
#   lintian    Debian's own checker: no error, no warning
#   start      the unpacked program starts offscreen and ends on SIGTERM with exit code 1
set -uo pipefail
case_name=$1 build=$2 scratch=$3 app_id=$4 version=$5 deb_version=$6
icon_sizes=("${@:7}")

root=$scratch/root
deb=$scratch/quarnex_${deb_version}_$(dpkg --print-architecture).deb
entry=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
failures=0

fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# expect LEGEND ACTUAL EXPECTED
expect() {
    [ "$2" = "$3" ] || fail "$1: got '$2', expected '$3'"
}

desktop_key() {
    sed -n "s/^$1=//p" "$entry"
}

build_package() {
    rm -rf "$scratch"
    mkdir -p "$scratch"
    cpack --config "$build/CPackConfig.cmake" -B "$scratch" > "$scratch/cpack.log" 2>&1 ||
        { cat "$scratch/cpack.log"; fail "cpack"; return; }
    [ -f "$deb" ] || { ls "$scratch"; fail "no package named $(basename "$deb")"; return; }
    dpkg -x "$deb" "$root" || fail "dpkg -x"
}

check_desktop_entry() {
    local report
    report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate"
    echo "$report"
    ! grep -qE 'error|warning' <<< "$report" || fail "desktop-file-validate complains"
}

check_metainfo() {
    appstream-util validate-relax --nonet "$metainfo" || fail "appstream-util validate-relax"
}

check_files() {
    local path
    for path in "$root/usr/bin/quarnex" "$entry" "$metainfo" \
                "$root/usr/share/icons/hicolor/scalable/apps/$app_id.svg"; do
        [ -s "$path" ] || fail "missing: ${path#"$root"}"
    done
    [ -x "$root/usr/bin/quarnex" ] || fail "the program is not executable"
    local size icon
    for size in "${icon_sizes[@]}"; do
        icon=$root/usr/share/icons/hicolor/${size}x$size/apps/$app_id.png
        if [ ! -f "$icon" ]; then
            fail "missing: ${icon#"$root"}"
            continue
        fi
        expect "pixel size of the ${size}x$size icon" "$(identify -format '%wx%h' "$icon")" \
            "${size}x$size"
    done
    expect "the entry's program" "$(desktop_key Exec)" quarnex
    expect "the entry's icon" "$(desktop_key Icon)" "$app_id"
    expect "the metainfo's id" "$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")" "$app_id"
    expect "the metainfo's launchable" \
        "$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")" \
        "$app_id.desktop"
}

check_package_fields() {
    expect "Package" "$(dpkg-deb -f "$deb" Package)" quarnex
    expect "Version" "$(dpkg-deb -f "$deb" Version)" "$deb_version"
    expect "Architecture" "$(dpkg-deb -f "$deb" Architecture)" "$(dpkg --print-architecture)"
    local depends library
    depends=$(dpkg-deb -f "$deb" Depends)
    # Debian 13 renamed some libraries for the 64-bit time_t (libqt6core6t64); the new package
    # still provides the old name, so a package built on 12 installs on 13 and the other way.
    # qt6-wayland: without it, a Wayland session without DISPLAY cannot start the program.
    for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 qt6-wayland; do
        grep -qE "(^|, )$library(t64)?( |,|$)" <<< "$depends" ||
            fail "Depends lacks $library: $depends"
    done
    ! grep -q gpsd <<< "$depends" || fail "gpsd must be recommended, not required: $depends"
    expect "Recommends" "$(dpkg-deb -f "$deb" Recommends)" gpsd
    expect "the metainfo's release" \
        "$(sed -n 's:.*<release version="\([^"]*\)".*:\1:p' "$metainfo")" "$version"
    grep -qaF "$version" "$root/usr/bin/quarnex" || fail "the program does not carry $version"
}

check_lintian() {
    lintian --fail-on error,warning "$deb" || fail "lintian reports errors or warnings"
}

case $case_name in
    build) build_package ;;
    desktop) check_desktop_entry ;;
    metainfo) check_metainfo ;;
    layout)
        check_files
        check_package_fields
        ;;
    lintian) check_lintian ;;
    start)
        "$(dirname "$0")/start_check.sh" "$root/usr/bin/quarnex" "$scratch" ||
            fail "the unpacked program's start"
        ;;
    *) fail "unknown case $case_name" ;;
esac
[ "$failures" -eq 0 ]
