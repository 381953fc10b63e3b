#!/bin/sh
# Profile update benchmark: `varbuild-cli update` installing an archive from
# the kit's update server on 127.0.0.1 (query, download, listing, staging
# copy, entry-by-entry unpack through unzip -p, load check, swap), against a
# single `unzip -o` of the same archive, which is what the unpack alone cost
# before each entry was read on its own and counted.
#
# usage: bench/update_bench.sh [BUILD_DIR] [DEVICES] [RUNS]
#   BUILD_DIR  a configured and built tree (default: build); its kit/ is copied
#   DEVICES    0: the demo update archive (build/kit-update); N: a generated
#              database of 10 vendors x N/10 devices (default: 0)
#   RUNS       runs per command (default: 10)
# Needs hyperfine; without it, each side is timed RUNS times with date.
set -eu

BUILD_DIR=$(cd "${1:-build}" && pwd)
DEVICES=${2:-0}
RUNS=${3:-10}
KIT_SRC="$BUILD_DIR/kit"
SRC_DIR=$(cd "$(dirname "$0")/.." && pwd)
[ -x "$KIT_SRC/bin/varbuild-cli" ] || { echo "no $KIT_SRC/bin/varbuild-cli: build the tree first" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/varbuild-update-bench-XXXXXX")
SERVER_PID=
cleanup()
{
    [ -z "$SERVER_PID" ] || kill "$SERVER_PID" 2>/dev/null || true
    [ -n "${KEEP_WORK:-}" ] || rm -rf "$WORK"
}
trap cleanup EXIT
KIT="$WORK/kit"
SERVED="$WORK/served"
cp -r "$KIT_SRC" "$KIT"
mkdir -p "$SERVED"
echo 9 > "$SERVED/release.dat"
echo 2 > "$SERVED/profiles.dat"

if [ "$DEVICES" -eq 0 ]; then
    cp "$BUILD_DIR/kit-update/update.zip" "$SERVED/update.zip"
else
    mkdir -p "$WORK/gen/profiles"
    python3 "$SRC_DIR/tools/gen-profiles.py" "$WORK/gen/profiles/vendors" --vendors 10 \
        --devices $((DEVICES / 10)) --defines 60 --definitions 500 --seed 1
    # The generated runtimes must exist in the kit for the load check.
    (cd "$WORK/gen" && zip -q -r -X "$SERVED/update.zip" profiles)
fi
ENTRIES=$(unzip -Z1 "$SERVED/update.zip" | wc -l)
BYTES=$(stat -c %s "$SERVED/update.zip")
echo "archive: $ENTRIES entries, $BYTES bytes"

"$KIT/bin/updateserver" --port-file "$WORK/port" "$SERVED" >/dev/null &
SERVER_PID=$!
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.05; done
export VARNEL_UPDATE_SERVER="127.0.0.1:$(cat "$WORK/port")"
export VARNELDIR="$KIT"

# Each run starts from version 1, so the server always offers the archive.
PREPARE="echo 1 > '$KIT/profiles/version.dat'"
UPDATE="'$KIT/bin/varbuild-cli' update >/dev/null 2>&1"
UNZIP="rm -rf '$WORK/plain' && unzip -q -o '$SERVED/update.zip' -d '$WORK/plain'"

if command -v hyperfine >/dev/null; then
    hyperfine --runs "$RUNS" --prepare "$PREPARE" -n update "$UPDATE" -n "unzip -o" "$UNZIP"
else
    for side in update unzip; do
        start=$(date +%s%N)
        for _ in $(seq "$RUNS"); do
            sh -c "$PREPARE"
            if [ "$side" = update ]; then sh -c "$UPDATE" || { echo "update failed" >&2; exit 1; }; else sh -c "$UNZIP"; fi
        done
        end=$(date +%s%N)
        echo "$side: $(( (end - start) / RUNS / 1000000 )) ms per run (mean of $RUNS)"
    done
fi
