#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (dialog tests offscreen).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
cd "$build"
ctest --output-on-failure -j "$(nproc)" "$@"
