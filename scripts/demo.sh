#!/usr/bin/env bash
# Installs what is missing, builds, and opens the setup editor on a copy of the demo
# setup with the simulated drive. Without a display it draws every editor dialog
# offscreen instead and leaves the pictures and the computed setup report in the build.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVEX_BUILD_DIR:-$root/build}
bash "$root/scripts/build.sh"
axishost="$build/bin/axishost"
copy="$build/demo-setup.json"
cp "$root/resources/setups/demo.json" "$copy"
"$axishost" compute "$copy" --forward -o "$build/demo-computed.json"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Opening the setup editor on $copy (OK saves it, keeping $copy.bak)"
  exec "$axishost" edit "$copy" --drive sim
fi

# No display: every editor dialog is drawn offscreen and closed with Cancel, so the
# copy stays as it was.
snapshots="$build/demo-snapshots"
rm -rf "$snapshots"
export QT_QPA_PLATFORM=offscreen
"$axishost" edit "$copy" --drive none --auto cancel --snapshot "$snapshots/edit" >/dev/null
for name in drivesetup motorsetup inertia advanced analogref filters driveinfo; do
  "$axishost" dialog "$name" "$copy" --drive none --auto cancel \
    --snapshot "$snapshots/$name" >/dev/null
done
echo "No display: pictures of every editor dialog are in $snapshots/, the computed setup report in $build/demo-computed.json"
