#!/usr/bin/env bash
# Installs the build tree into a temporary DESTDIR, as a package would lay it out under /usr, and
# checks the result: programs, desktop entry, AppStream metainfo, icons and manual pages, each
# validated by the desktop's own tools.
# Usage: check_install_tree.sh BUILD_DIR VERSION "ICON_SIZES" PLAINTROVE PLAINTROVE_STRIP
set -euo pipefail
build=$1 version=$2
read -r -a sizes <<<"$3"
shift 3
app_id=com.orrinway.Plaintrove

source "$(dirname "$0")/preconditions.sh"
require_built "$@"
require_tools desktop-file-validate:desktop-file-utils appstreamcli:appstream

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
DESTDIR=$work cmake --install "$build" --prefix /usr >"$work/install.log" || {
    cat "$work/install.log" >&2
    exit 1
}
root=$work/usr

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Width and height from a PNG's header, as "WxH".
png_size() {
    local words
    read -r -a words < <(od -An -j16 -N8 -tu1 "$1")
    echo "$(((words[0] << 24) | (words[1] << 16) | (words[2] << 8) | words[3]))x$(((words[4] << 24) | (words[5] << 16) | (words[6] << 8) | words[7]))"
}

for program in plaintrove plaintrove-strip; do
    [ -x "$root/bin/$program" ] || fail "bin/$program is not installed"
done

desktop=$root/share/applications/$app_id.desktop
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"
    exec_line=$(sed -n 's/^Exec=//p' "$desktop")
    [ -x "$root/bin/${exec_line%% *}" ] || fail "Exec=$exec_line names no installed program"
    [ "$(sed -n 's/^Icon=//p' "$desktop")" = "$app_id" ] || fail "Icon= is not $app_id"
else
    fail "share/applications/$app_id.desktop is not installed"
fi

metainfo=$root/share/metainfo/$app_id.metainfo.xml
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net --explain "$metainfo" || fail "appstreamcli rejects $metainfo"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo names no release $version"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" \
        || fail "metainfo does not launch $app_id.desktop"
    grep -q '@[A-Z_]*@' "$metainfo" && fail "metainfo holds unconfigured @VARIABLES@"
else
    fail "share/metainfo/$app_id.metainfo.xml is not installed"
fi

for size in "${sizes[@]}"; do
    icon=$root/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    if [ -f "$icon" ]; then
        [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "$icon is $(png_size "$icon")"
    else
        fail "hicolor ${size}x${size} icon is not installed"
    fi
done
[ -f "$root/share/icons/hicolor/scalable/apps/$app_id.svg" ] || fail "scalable icon is not installed"

for page in plaintrove plaintrove-strip; do
    man=$root/share/man/man1/$page.1
    [ -f "$man" ] || man=$man.gz
    if [ ! -f "$man" ]; then
        fail "share/man/man1/$page.1 is not installed"
        continue
    fi
    roff=$work/$page.1
    case $man in *.gz) gzip -dc "$man" >"$roff" ;; *) cp "$man" "$roff" ;; esac
    grep -q '@[A-Z_]*@' "$roff" && fail "$page.1 holds unconfigured @VARIABLES@"
    grep -q "^\.TH .*\"Plaintrove $version\"" "$roff" || fail "$page.1 does not name version $version"
    if command -v groff >/dev/null; then
        warnings=$(groff -man -ww -z "$roff" 2>&1)
        [ -z "$warnings" ] || fail "groff warns about $page.1: $warnings"
    fi
done

# The installed command line runs and matches its manual page.
strip=$root/bin/plaintrove-strip
if [ -x "$strip" ]; then
    [ "$("$strip" --version)" = "plaintrove-strip $version" ] \
        || fail "installed plaintrove-strip --version prints '$("$strip" --version 2>&1)'"
    help=$("$strip" --help) || fail "plaintrove-strip --help failed"
    # Every long option the manual describes is one the program knows.
    while read -r option; do
        grep -q -- "$option" <<<"$help" || fail "the manual's $option is not in plaintrove-strip --help"
    done < <(grep -o '\\-\\-[a-z][a-z\\-]*' "$work/plaintrove-strip.1" | sed 's/\\//g' | sort -u)
fi

if [ "$failures" -gt 0 ]; then
    echo "--- installed:" >&2
    (cd "$work" && find . -type f | sort) >&2
    exit 1
fi
echo "install tree OK"
