#!/usr/bin/env bash
# The Debian package end to end, from a build tree (the ctest test "package"):
#   test_package.sh BUILD_DIR SOURCE_DIR UNPACKED_PROGRAM_TEST
# builds the .deb with CPack, lets lintian check it (no error; every warning named in the
# README), unpacks it with dpkg-deb -x into a private root, validates the installed menu entry
# and AppStream metadata, checks the layout and --version, and runs the unpacked program under
# Xvfb against the unpacked emulator (UNPACKED_PROGRAM_TEST), from a directory of its own.
set -euo pipefail
build="$1" top="$2" unpacked_test="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

echo "== cpack"
cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
debs=("$work"/cpack/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single .deb in $work/cpack"
deb="${debs[0]}"
dpkg-deb --info "$deb"

echo "== lintian"
lintian --fail-on error --display-info "$deb" | tee "$work/lintian.log" ||
    fail "lintian reports an error"
# Every warning is named in the README's list of accepted lintian warnings, with its reason.
for tag in $(awk '$1 == "W:" { print $3 }' "$work/lintian.log" | sort -u); do
    grep -q "\`$tag\`" "$top/README.md" || fail "lintian warning $tag is not explained in README.md"
done

echo "== unpacked layout"
root="$work/root"
dpkg-deb -x "$deb" "$root"
for file in usr/bin/nvmxv451 usr/bin/nvmxv451-sensor-emulator \
    usr/share/nvmxv451/nvmxv451.uir usr/share/nvmxv451/logoQN.bmp \
    usr/share/applications/example.quarnet.nvmxv451.desktop \
    usr/share/metainfo/example.quarnet.nvmxv451.metainfo.xml \
    usr/share/icons/hicolor/48x48/apps/nvmxv451.png \
    usr/share/icons/hicolor/256x256/apps/nvmxv451.png \
    usr/share/man/man1/nvmxv451.1.gz usr/share/man/man1/nvmxv451-sensor-emulator.1.gz \
    usr/share/doc/nvmxv451/copyright usr/share/doc/nvmxv451/changelog.gz \
    usr/share/doc/nvmxv451/examples/nvmxv451-record@.service \
    usr/lib/systemd/system/nvmxv451-line@.service; do
    [ -f "$root/$file" ] || fail "$file is not in the package"
done
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"

echo "== --version"
version="$(dpkg-deb -f "$deb" Version)"
printed="$("$root/usr/bin/nvmxv451" --version)"
echo "$printed"
[ "$printed" = "nvmxv451 $version" ] || fail "--version printed '$printed', the package is $version"

echo "== headless commands need no display"
(unset DISPLAY; "$root/usr/bin/nvmxv451" check --help | grep -q "Exit codes") ||
    fail "nvmxv451 check --help"

echo "== the unpacked program against the unpacked emulator"
before="$(ls -A "$root/usr/bin")"
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && NVMX_PACKAGE_ROOT="$root" "$unpacked_test") || fail "unpacked program"
[ "$(ls -A "$root/usr/bin")" = "$before" ] || fail "the program wrote beside itself"
echo "package test passed: $(basename "$deb")"
