#!/usr/bin/env bash
# Profile update benchmark: `varbuild-cli update` installing an archive from
# the kit's update server on 127.0.0.1 (query, download, listing, linked
# staging database, one-pass unpack, load check, swap, then the removal of
# the replaced database before the command ends), against a plain
# `unzip -o` of the same archive into an empty directory. Wall and CPU
# (user + system, children included) side by side, the wall time until the
# update printed its result, and for scale the `rm -rf` of what unzip -o
# made (the update removes a tree of that size after its result).
#
# usage: bench/update_bench.sh [BUILD_DIR] [DEVICES...]
#   BUILD_DIR  a configured and built tree (default: build); its kit/ is copied
#   DEVICES    0: the demo update archive (build/kit-update); N: generated
#              databases of 20 vendors x N/20 devices, the installed one and
#              the archive's drawn with different seeds (default: 2000 20000)
#   RUNS       environment: runs per size (default 1; each run reinstalls)
set -euo pipefail

BUILD_DIR=$(cd "${1:-build}" && pwd)
shift || true
SIZES=("$@")
[ ${#SIZES[@]} -gt 0 ] || SIZES=(2000 20000)
RUNS=${RUNS:-1}
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
TIMEFORMAT='%R %U %S'

# A database of $1 devices below $2/vendors, drawn with seed $3.
generate()
{
    python3 "$SRC_DIR/tools/gen-profiles.py" "$2/vendors" --vendors 20 --devices $(($1 / 20)) --defines 60 \
        --definitions 500 --seed "$3"
}

# Prints "wall cpu" of the command line $1 (run by bash), its stderr to $2.
timed()
{
    local t
    t=$( { time bash -c "$1" >/dev/null 2>"$2"; } 2>&1 ) || { echo "failed: $1" >&2; cat "$2" >&2; exit 1; }
    echo "$t" | awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }'
}

printf '%-8s %-8s %-6s | %-11s %-11s %-9s | %-11s %-11s | %-9s | %s\n' devices entries MB \
    "update wall" "update cpu" "told at" "unzip wall" "unzip cpu" "rm -rf" "ratios (wall, told at)"
for DEVICES in "${SIZES[@]}"; do
    RUN="$WORK/$DEVICES"
    KIT="$RUN/kit"
    SERVED="$RUN/served"
    mkdir -p "$SERVED"
    cp -r "$KIT_SRC" "$KIT"
    echo 9 > "$SERVED/release.dat"
    echo 2 > "$SERVED/profiles.dat"
    if [ "$DEVICES" -eq 0 ]; then
        cp "$BUILD_DIR/kit-update/update.zip" "$SERVED/update.zip"
    else
        rm -rf "$KIT/profiles/vendors"
        generate "$DEVICES" "$KIT/profiles" 2 >/dev/null
        mkdir -p "$RUN/gen/profiles"
        generate "$DEVICES" "$RUN/gen/profiles" 1 >/dev/null
        (cd "$RUN/gen" && zip -q -r -X "$SERVED/update.zip" profiles)
        rm -rf "$RUN/gen"
    fi
    ENTRIES=$(unzip -Z1 "$SERVED/update.zip" | wc -l)
    MB=$(stat -c %s "$SERVED/update.zip" | awk '{ printf "%.1f", $1 / 1e6 }')

    rm -f "$RUN/port"
    "$KIT/bin/updateserver" --port-file "$RUN/port" "$SERVED" >/dev/null &
    SERVER_PID=$!
    for _ in $(seq 100); do [ -s "$RUN/port" ] && break; sleep 0.05; done
    export VARNEL_UPDATE_SERVER="127.0.0.1:$(cat "$RUN/port")"
    export VARNELDIR="$KIT"

    for _ in $(seq "$RUNS"); do
        # Each run starts from version 1, so the server always offers the archive.
        echo 1 > "$KIT/profiles/version.dat"
        # Neither side pays for writing back what was made before it.
        sync
        start=$(date +%s%N)
        update=$(timed "'$KIT/bin/varbuild-cli' update | while IFS= read -r line; do
            case \$line in *'successfully installed'*) date +%s%N > '$RUN/told';; esac; done
            [ -s '$RUN/told' ]" "$RUN/update.err")
        told=$(awk -v s="$start" '{ printf "%.2f", ($1 - s) / 1e9 }' "$RUN/told")
        rm -f "$RUN/told"
        sync
        plain=$(timed "rm -rf '$RUN/plain' && unzip -q -o '$SERVED/update.zip' -d '$RUN/plain'" "$RUN/unzip.err")
        sync
        removal=$(timed "rm -rf '$RUN/plain'" "$RUN/rm.err")
        sync
        read -r uw uc <<<"$update"
        read -r pw pc <<<"$plain"
        read -r rw _ <<<"$removal"
        printf '%-8s %-8s %-6s | %-11s %-11s %-9s | %-11s %-11s | %-9s | %s\n' "$DEVICES" "$ENTRIES" "$MB" "${uw} s" \
            "${uc} s" "${told} s" "${pw} s" "${pc} s" "${rw} s" \
            "$(awk -v a="$uw" -v t="$told" -v b="$pw" 'BEGIN { printf "%.2f, %.2f", a / b, t / b }')"
    done
    kill "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
    SERVER_PID=
    rm -rf "$RUN"
done
