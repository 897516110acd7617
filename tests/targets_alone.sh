#!/usr/bin/env bash
# Each target here builds alone from a clean tree: a file generated in one folder and compiled in
# another must reach it through a target, or a parallel build fails or succeeds by its order.
# targets_alone.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
targets=(
    plaintrove_references # the table of named references, generated at build time
    plaintrove_engine
    plaintrove_engine_sse2 # the engine's sources built again for the tests
    plaintrove_engine_scalar
)
cmake -S "$source_dir" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Debug >"$work/configure.log" 2>&1 \
    || { cat "$work/configure.log" >&2; exit 1; }
failures=0
for target in "${targets[@]}"; do
    ninja -C "$work" -t clean >/dev/null
    if ! ninja -C "$work" "$target" >"$work/build.log" 2>&1; then
        tail -n 20 "$work/build.log" >&2
        echo "FAIL: $target does not build alone from a clean tree" >&2
        failures=$((failures + 1))
    fi
done
exit $((failures > 0))
