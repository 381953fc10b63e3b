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

# The demo's own update server (docs/network.md) on a free loopback port.
# The demo's configuration keeps the window's start-up checks off, so no start
# of the demo reaches past this machine; this script shows the checks against
# that server instead, and the window's Services menu uses it too. It ends
# with this script, or after the exec below with the program that replaced it
# (--exit-with-parent).
if [ -z "${VARNEL_UPDATE_SERVER:-}" ]; then
    portfile="$(mktemp)"
    "$kit/bin/updateserver" --exit-with-parent --port-file "$portfile" "$PWD/build/kit-update" >/dev/null 2>&1 &
    server_pid=$!
    trap 'kill "$server_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
        [ -s "$portfile" ] && break
        sleep 0.1
    done
    if [ -s "$portfile" ]; then
        export VARNEL_UPDATE_SERVER="127.0.0.1:$(cat "$portfile")"
    else
        echo "The demo update server did not start; update checks will report a network error."
        export VARNEL_UPDATE_SERVER="127.0.0.1:9"
    fi
    rm -f "$portfile"
fi

echo "Update checks against the update server at $VARNEL_UPDATE_SERVER:"
"$kit/bin/varbuild-cli" check-release 2>/dev/null || true
"$kit/bin/varbuild-cli" update 2>/dev/null || true

if [ -x "$kit/bin/varbuild" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    exec "$kit/bin/varbuild" "$project"
fi

echo "No display: building the demo projects with varbuild-cli instead of opening the window."
"$kit/bin/varbuild-cli" import --force "$kit/projects/demo/vc/demo.vcproj" "$kit/projects/demo/vc/imported.vnp"
"$kit/bin/varbuild-cli" targets "$project"
"$kit/bin/varbuild-cli" build "$project"
# The Symbian demo project, with the demo installation's Symbian SDK.
export EPOCROOT="$kit/symbian/"
export PATH="$kit/symbian/Epoc32/tools:$PATH"
exec "$kit/bin/varbuild-cli" build "$kit/projects/symbian/symbian.vnp"
