#!/usr/bin/env bash
# Converts a 256 MB input that is a single line, made on the fly and streamed in through a pipe,
# and checks that the program's peak resident memory stays under a limit, whatever the line's
# length. Usage: peak_memory.sh PLAINTROVE_STRIP LIMIT_KIB [OPTION...]
set -euo pipefail
strip=$1
limit_kib=$2
shift 2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

unit='ab<i>cd</i>' # becomes "abcd" in either mode
count=$((256000000 / ${#unit})) # far beyond any buffer: memory that grew with the line would show
# yes and tr end by SIGPIPE once head has enough; that is not a failure.
units() { { yes "$1" || true; } | { tr -d '\n' || true; } | head -c $(($2 * ${#1})); }

units "$unit" "$count" | /usr/bin/time -f '%M' -o "$scratch/peak" "$strip" "$@" - "$scratch/line.txt"

expected=$( { units abcd "$count"; printf '\r\n'; } | md5sum)
actual=$(md5sum < "$scratch/line.txt")
peak=$(tail -n 1 "$scratch/peak")
echo "input: $((count * ${#unit})) bytes on one line; output: $(stat -c %s "$scratch/line.txt") bytes"
echo "peak resident memory: $peak KiB (limit $limit_kib KiB)"
[ "$actual" = "$expected" ] || { echo "the output is not the stripped input" >&2; exit 1; }
[ "$peak" -lt "$limit_kib" ] || { echo "peak memory over the limit" >&2; exit 1; }
