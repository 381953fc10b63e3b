#!/bin/sh
# Grabs the main window, offscreen, with the demo project open and built, to
# docs/screenshot.png.
#
#   tools/screenshot.sh [BUILD_DIRECTORY]     (default: ./build)
set -e
SRC=$(cd "$(dirname "$0")/.." && pwd)
# Absolute: the program takes VARNELDIR from it and changes directories.
BUILD=$(cd "${1:-$SRC/build}" && pwd)
cmake --build "$BUILD" --target varbuild-screenshot kit
# The stand-in tools make the build in the picture a real one.
for tool in vbtool_xgcc vbtool_lintel vbtool_cmd; do
  cmake --build "$BUILD" --target "$tool" >/dev/null 2>&1 || echo "screenshot: $tool not built, the build will fail" >&2
done
"$BUILD/tools/screenshot/varbuild-screenshot" "$BUILD/kit" "$BUILD/kit/projects/demo/demo.vnp" "$SRC/docs/screenshot.png" 1180 900
# The build tests copy the demo project from the kit: leave it as built.
rm -rf "$BUILD/kit/projects/demo/Output"
echo "wrote $SRC/docs/screenshot.png"
