#!/usr/bin/env bash
# Measures plaintrove-strip against cat and sed on large real HTML and prints PASS/FAIL for its
# speed and memory targets. See bench/README.md.
#
#   bench/run.sh [-n RUNS] [--sed-runs K] [--quick] [--out DIR] [PLAINTROVE_STRIP]
#
# PLAINTROVE_STRIP defaults to build/bin/plaintrove-strip, which is built (preset "default") when
# it is missing. The corpus (about 2 GB) goes to bench/out/ unless --out or $BENCH_OUT says
# otherwise; outputs are written beside it. Exit status: 0 all targets met, 1 a target missed,
# 2 the benchmark itself could not run.
set -euo pipefail

bench_dir="$(cd "$(dirname "$0")" && pwd)"
repo="$(dirname "$bench_dir")"
out="${BENCH_OUT:-$bench_dir/out}"
binary=""
pass_on=()

usage() { sed -n '2,10s/^# \{0,1\}//p' "$0"; }

while [ $# -gt 0 ]; do
    case "$1" in
    -n | --runs | --sed-runs)
        [ $# -ge 2 ] || { echo "run.sh: $1 needs a number" >&2; exit 2; }
        pass_on+=("$1" "$2"); shift 2 ;;
    --quick) pass_on+=("$1"); shift ;;
    --out)
        [ $# -ge 2 ] || { echo "run.sh: --out needs a directory" >&2; exit 2; }
        out="$2"; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "run.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    *)
        [ -z "$binary" ] || { echo "run.sh: more than one binary given" >&2; exit 2; }
        binary="$1"; shift ;;
    esac
done

install_missing() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$@"
}

# /usr/bin/time for the peak memory; python3 runs the measurements; g++ builds the engine alone.
install_missing time python3 coreutils sed g++

# Real HTML: the documentation of installed packages. With too little of it, the Python manual
# (about 55 MB of HTML) is added.
html_bytes=$(find /usr/share/doc -type f \( -name '*.html' -o -name '*.htm' \) -printf '%s\n' \
    | awk '{ total += $1 } END { print total + 0 }')
if [ "$html_bytes" -lt 40000000 ]; then
    install_missing python3-doc
fi

if [ -z "$binary" ]; then
    binary="$repo/build/bin/plaintrove-strip"
    if [ ! -x "$binary" ]; then
        echo "Building $binary ..." >&2
        (cd "$repo" && cmake --preset default >&2 \
            && cmake --build --preset default --target plaintrove-strip >&2)
    fi
fi
[ -x "$binary" ] || { echo "run.sh: $binary: no such executable" >&2; exit 2; }

# The stripping engine between two plain file descriptors, to tell its cost from the file
# layer's. Optional: the benchmark runs without it if it does not build.
mkdir -p "$out"
engine="$out/engine_loop"
engine_args=()
if g++ -std=c++20 -O2 -g -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion \
    -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Werror -I"$repo/src/conversion" \
    "$bench_dir/engine_loop.cpp" "$repo/src/conversion/StripTags.cpp" -o "$engine.new" >&2; then
    mv "$engine.new" "$engine"
    engine_args=(--engine "$engine")
else
    echo "run.sh: the engine alone did not build; its rows are left out" >&2
fi

exec python3 "$bench_dir/bench.py" --out "$out" "${engine_args[@]}" "${pass_on[@]}" "$binary"
