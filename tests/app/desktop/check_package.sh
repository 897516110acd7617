#!/usr/bin/env bash
# Makes the Debian package from a build tree with CPack and checks what a user's system gets from
# it, then the committed pictures. check_package.sh BUILD_DIR VERSION IDENTITY_DIR; 77: no tool.
set -euo pipefail
build=$1 version=$2 identity=$3
id=com.orrinway.Plaintrove

for tool in cpack dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli identify; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/deps.sh)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log" >&2; exit 1; }
deb=$work/plaintrove_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "FAIL: CPack made no $(basename "$deb")" >&2; ls "$work" >&2; exit 1; }

# Lintian checks the manual pages too: it fails on a missing or uncompressed one, or on man errors.
# A Debian changelog records uploads to an archive; this package has none.
lintian --fail-on error,warning --suppress-tags no-changelog "$deb" \
    || fail "lintian finds errors or warnings (above)"

# dpkg-shlibdeps names the linked libraries; nothing links the platform plugins: CMake names them.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
[ -x "$root/usr/bin/plaintrove" ] || fail "the package holds no usr/bin/plaintrove"
printed=$("$root/usr/bin/plaintrove-strip" --version 2>&1) || true
[ "$printed" = "plaintrove-strip $version" ] || fail "plaintrove-strip --version prints: $printed"
desktop-file-validate "$share/applications/$id.desktop" || fail "desktop-file-validate rejects it"
grep -qx "Icon=$id" "$share/applications/$id.desktop" || fail "the desktop entry names another icon"
# "Open With" hands the page over as FILE; --version answers without a display.
grep -qx "Exec=plaintrove %f" "$share/applications/$id.desktop" || fail "the entry hands no file over"
types=$(sed -n 's/^MimeType=//p' "$share/applications/$id.desktop")
listed=$(sed -n 's|.*<mediatype>\(.*\)</mediatype>.*|\1;|p' "$share/metainfo/$id.metainfo.xml")
[ "$types" = "text/html;application/xhtml+xml;" ] && [ "${listed//$'\n'/}" = "$types" ] \
    || fail "types: $types in the desktop entry, $listed in the metainfo"
printed=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/plaintrove" --version) \
    || true
[ "$printed" = "plaintrove $version" ] || fail "plaintrove --version prints: $printed"
appstreamcli validate --no-net --explain "$share/metainfo/$id.metainfo.xml" \
    || fail "appstreamcli rejects the metainfo"
for png in "$identity"/images/icon-*.png; do
    size=${png##*-} && size=${size%.png}
    cmp "$png" "$share/icons/hicolor/${size}x$size/apps/$id.png" || fail "icon ${size}x$size"
done
cmp "$identity/icon.svg" "$share/icons/hicolor/scalable/apps/$id.svg" || fail "scalable icon"

# The original icon: 32 x 32, at most 16 opaque colours in a 4-bit palette (PNG colour type 3).
format='%wx%h %k %A %[png:IHDR.color-type-orig] %[png:IHDR.bit-depth-orig]\n'
read -r size colours alpha type depth < <(identify -format "$format" "$identity/images/icon-32.png")
[ "$size $alpha $type $depth" = "32x32 False 3 4" ] && [ "$colours" -le 16 ] \
    || fail "icon-32.png: $size, $colours colours, alpha $alpha, colour type $type, depth $depth"
logo=$(identify -format '%m %wx%h %[interlace]' "$identity/images/logo.jpg")
[ "$logo" = "JPEG 40x40 None" ] || fail "logo.jpg is not a 40x40 baseline JPEG: $logo"

[ "$failures" -eq 0 ] || exit 1
echo "package OK: $(basename "$deb"), Depends: $depends"
