#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary directory and checks its name, control
# fields and contents.
# Usage: check_debian_package.sh BUILD_DIR VERSION "ICON_SIZES" PLAINTROVE PLAINTROVE_STRIP
set -euo pipefail
build=$1 version=$2
read -r -a sizes <<<"$3"
shift 3
app_id=com.orrinway.Plaintrove

source "$(dirname "$0")/preconditions.sh"
require_built "$@"
require_tools dpkg-deb:dpkg dpkg-shlibdeps:dpkg-dev

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    exit 1
}

deb=$work/plaintrove_${version}_$(dpkg --print-architecture).deb
if [ ! -f "$deb" ]; then
    echo "FAIL: $(basename "$deb") was not made; CPack wrote:" >&2
    ls "$work" >&2
    exit 1
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
field() {
    dpkg-deb -f "$deb" "$1"
}

[ "$(field Package)" = plaintrove ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ "$(field Maintainer)" = "Orrinway <plaintrove@orrinway.example>" ] \
    || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
# dpkg-shlibdeps found the libraries the programs link; the platform plugins are named by hand.
depends=$(field Depends)
depended_on=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
for package in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins; do
    grep -qxF "$package" <<<"$depended_on" || fail "Depends lacks $package: $depends"
done

dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|/$||' >"$work/contents"
expected=(
    ./usr/bin/plaintrove
    ./usr/bin/plaintrove-strip
    "./usr/share/applications/$app_id.desktop"
    "./usr/share/metainfo/$app_id.metainfo.xml"
    "./usr/share/icons/hicolor/scalable/apps/$app_id.svg"
)
for size in "${sizes[@]}"; do
    expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for entry in "${expected[@]}"; do
    grep -qxF "$entry" "$work/contents" || fail "the package lacks $entry"
done
for page in plaintrove plaintrove-strip; do
    grep -qE "^\./usr/share/man/man1/$page\.1(\.gz)?$" "$work/contents" \
        || fail "the package lacks the manual page $page.1"
done
# Nothing outside /usr, such as a path of the build machine.
grep -vE '^\.(/usr(/.*)?)?$' "$work/contents" && fail "the package holds files outside /usr"

if [ "$failures" -gt 0 ]; then
    echo "--- control:" >&2
    dpkg-deb -I "$deb" >&2
    echo "--- contents:" >&2
    cat "$work/contents" >&2
    exit 1
fi
echo "package OK: $(basename "$deb"), Depends: $depends"
