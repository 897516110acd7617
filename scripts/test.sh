#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
#   scripts/test.sh            optimised build in build/
#   scripts/test.sh --sanitize AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
plaintrove_install_missing

preset=default
[ "${1:-}" = "--sanitize" ] && preset=asan

cmake --preset "$preset"
cmake --build --preset "$preset" -j "$(nproc)"
ctest --preset "$preset" -j "$(nproc)"
