#!/usr/bin/env bash
# Builds Harvion from scratch into build/ and runs every test.
# Usage: scripts/test.sh [build-dir] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHARVION_WERROR=ON "$@"
ninja -C "$dir" -j "$jobs"
ctest --test-dir "$dir" --output-on-failure -j "$jobs"
