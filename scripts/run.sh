#!/usr/bin/env bash
# Installs what is missing, builds and starts Plaintrove.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/deps.sh
plaintrove_install_missing

cmake --preset default
cmake --build --preset default -j "$(nproc)" --target plaintrove plaintrove-strip
exec build/bin/plaintrove "$@"
