#!/usr/bin/env bash
# The drawn pictures have the properties the program and the desktop rely on:
#   icon-N.png   N x N, at most 16 colours from an indexed palette, fully opaque, red ground;
#   logo.jpg     40 x 40 baseline (not progressive) JPEG;
#   plaintrove.ico  holds the classic 16-colour 32 x 32 entry.
# Usage: check_pictures.sh IMAGES_DIR "SIZES"
set -euo pipefail
images=$1
read -r -a sizes <<<"$2"

if ! command -v identify >/dev/null; then
    echo "SKIP: identify (ImageMagick) is not installed"
    exit 77
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Reads one of identify's format escapes for a file.
property() {
    identify -format "$2" "$1" 2>/dev/null
}

for size in "${sizes[@]}"; do
    file=$images/icon-$size.png
    if [ ! -f "$file" ]; then
        fail "$file is missing"
        continue
    fi
    [ "$(property "$file" '%m %wx%h')" = "PNG ${size}x${size}" ] \
        || fail "$file: expected a ${size}x${size} PNG, found $(property "$file" '%m %wx%h')"
    colours=$(property "$file" '%k')
    [ "$colours" -le 16 ] || fail "$file: $colours colours, more than 16"
    # Colour type 3: the pixels are indexes into a palette.
    [ "$(property "$file" '%[png:IHDR.color-type-orig]')" = 3 ] || fail "$file: not an indexed PNG"
    [ "$(property "$file" '%[opaque]')" = true ] || fail "$file: has transparent pixels"
    [ "$(property "$file" '%[pixel:p{0,0}]')" = "srgb(255,0,0)" ] || fail "$file: corner is not red"
    convert "$file" -format %c histogram:info:- | grep -q '#FFFF00' \
        || fail "$file: holds no yellow"
done

logo=$images/logo.jpg
[ "$(property "$logo" '%m %wx%h')" = "JPEG 40x40" ] \
    || fail "$logo: expected a 40x40 JPEG, found $(property "$logo" '%m %wx%h')"
identify -verbose "$logo" | grep -q '^  Interlace: None$' || fail "$logo: not a baseline JPEG"
# The frame header's marker says how it was coded: FFC0 baseline, FFC2 progressive.
hex=$(od -An -v -tx1 "$logo" | tr -d ' \n')
[[ $hex == *ffc0* ]] || fail "$logo: no baseline frame header (FFC0)"
[[ $hex != *ffc2* ]] || fail "$logo: has a progressive frame header (FFC2)"

ico=$images/plaintrove.ico
identify -format '%wx%h %z\n' "$ico" | grep -qx '32x32 4' \
    || fail "$ico: no 16-colour 32 x 32 entry"

if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "pictures OK: icons ${sizes[*]}, logo, Windows icon"
