#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the shipped demo setup.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh"
"$build/bin/axishost" compute "$root/resources/setups/demo.json" --forward -o "$build/demo-computed.json"
echo "Computed setup written to $build/demo-computed.json"
