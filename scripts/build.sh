#!/usr/bin/env bash
# Configures and builds into build/ (or $ORVEX_BUILD_DIR).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_BUILD_DIR:-$root/build}
bash "$root/scripts/install-deps.sh"
# ccache keeps compiled objects across clean checkouts and work trees; relative paths
# below the checkout make one tree's objects serve another's.
launcher=()
if command -v ccache >/dev/null; then
  launcher=("-DCMAKE_CXX_COMPILER_LAUNCHER=env;CCACHE_BASEDIR=$root;CCACHE_NOHASHDIR=1;ccache")
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
