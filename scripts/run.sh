#!/usr/bin/env bash
# Installs what is missing, builds, assembles the demo installation and runs
# the main job on it: the window on the demo project when a display is there,
# otherwise a command-line build of the same project.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

kit="$PWD/build/kit"
export VARNELDIR="$kit"
project="$kit/projects/demo/demo.vnp"

if [ -x "$kit/bin/varbuild" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    exec "$kit/bin/varbuild" "$project"
fi

echo "No display: building the demo project with varbuild-cli instead of opening the window."
"$kit/bin/varbuild-cli" import "$kit/projects/demo/vc/demo.vcproj" "$kit/projects/demo/vc/imported.vnp"
"$kit/bin/varbuild-cli" targets "$project"
exec "$kit/bin/varbuild-cli" build "$project"
