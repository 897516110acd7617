#!/usr/bin/env bash
# The configured Windows resource script compiles with the MinGW resource compiler, and the
# compiled version information holds what Explorer should show.
# Usage: check_windows_resources.sh RC_FILE VERSION NAME COMPANY DESCRIPTION
set -euo pipefail
rc=$1 version=$2 name=$3 company=$4 description=$5

windres=x86_64-w64-mingw32-windres
if ! command -v "$windres" >/dev/null; then
    echo "SKIP: $windres (binutils-mingw-w64-x86-64) is not installed"
    exit 77
fi
# windres runs the MinGW C preprocessor; without the cross compiler the host's will do, since
# the script includes no Windows headers.
preprocessor=()
if ! command -v x86_64-w64-mingw32-gcc >/dev/null; then
    if ! command -v cpp >/dev/null; then
        echo "SKIP: no C preprocessor for $windres"
        exit 77
    fi
    preprocessor=(--preprocessor=cpp)
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# An object file is what a MinGW build links into the executable.
"$windres" "${preprocessor[@]}" -i "$rc" -O coff -o "$work/plaintrove.o"
"$windres" "${preprocessor[@]}" -i "$rc" -O res -o "$work/plaintrove.res"
# Decompiling shows what the compiler understood.
"$windres" -i "$work/plaintrove.res" -O rc -o "$work/decompiled.rc"

IFS=. read -r major minor revision <<<"$version"
numbers="$major, $minor, 0, $revision"
text=$(printf '%d.%02d.%04d' "$major" "$minor" "$revision")

failures=0
expect() {
    if ! grep -qF -- "$1" "$work/decompiled.rc"; then
        echo "FAIL: the compiled resources lack: $1" >&2
        failures=$((failures + 1))
    fi
}
expect "FILEVERSION $numbers"
expect "PRODUCTVERSION $numbers"
expect 'BLOCK "040904E4"'
expect "VALUE \"FileVersion\", \"$text\""
expect "VALUE \"ProductVersion\", \"$text\""
expect "VALUE \"ProductName\", \"$name\""
expect "VALUE \"InternalName\", \"$name\""
expect "VALUE \"OriginalFilename\", \"$name.exe\""
expect "VALUE \"CompanyName\", \"$company\""
expect "VALUE \"FileDescription\", \"$description\""
expect 'VALUE "Translation", 0x409, 1252'
expect 'Type: group icon'
# The group icon's 32 x 32, 16-colour (octal 020) entry.
expect '"\040\040\020\000", 1, 4,'
expect 'LANGUAGE 9, 1'

if [ "$failures" -gt 0 ]; then
    echo "--- decompiled resources:" >&2
    grep -v '^ *0x' "$work/decompiled.rc" >&2 || true
    exit 1
fi
echo "Windows resources OK: version $numbers, \"$text\""
