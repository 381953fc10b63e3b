#!/bin/sh
# Build Changed and compiler-cache benchmark on the 300-source benchmark
# project (bench/make_project.sh) with the kit's real stand-in xgcc, one job:
#
#   full       varbuild-cli build (every step runs)
#   header     build --changed after touching the header every source includes
#   nothing    build --changed with nothing touched
#   source     build --changed after touching one source
#   cold       build --launcher ccache with an empty cache of its own
#   warm       the same again, the cache now filled
#
# The sides take turns round by round (one warm-up round, then RUNS rounds),
# each on its own copy of the project, so a change in the machine's load falls
# on all of them; each figure is the median of the rounds' wall times.
#
# usage: bench/changed_bench.sh [BUILD_DIR] [SOURCES] [RUNS]
set -eu

BUILD_DIR=$(cd "${1:-build}" && pwd)
SOURCES=${2:-300}
RUNS=${3:-3}
KIT="$BUILD_DIR/kit"
[ -x "$KIT/bin/varbuild-cli" ] || { echo "no $KIT/bin/varbuild-cli: build the tree first" >&2; exit 1; }
command -v ccache > /dev/null || { echo "ccache is not installed (scripts/setup.sh)" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/varbuild-cbench-XXXXXX")
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$WORK"' EXIT
for copy in full changed cached; do
    "$(dirname "$0")/make_project.sh" "$WORK/$copy" "$SOURCES"
done
export VARNELDIR="$KIT"
export CCACHE_DIR="$WORK/ccache"
CLI="$KIT/bin/varbuild-cli build -j 1"

# Times one build in ms; a failing build ends the benchmark.
time_ms()
{
    start=$(date +%s%N)
    "$@" > "$WORK/last.log" 2>&1 || { cat "$WORK/last.log" >&2; exit 1; }
    end=$(date +%s%N)
    echo $(( (end - start) / 1000000 ))
}

echo "machine: $(uname -srm), $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "project: $SOURCES sources"

$CLI --changed "$WORK/changed/pbench.vnp" > /dev/null 2>&1
for side in full header nothing source cold warm; do : > "$WORK/$side.times"; done
round=0
while [ "$round" -le "$RUNS" ]; do
    full=$(time_ms $CLI "$WORK/full/pbench.vnp")
    touch "$WORK/changed/include/shared.h"
    header=$(time_ms $CLI --changed "$WORK/changed/pbench.vnp")
    grep -q "Build Changed: $SOURCES compiled, 0 up to date" "$WORK/last.log" || { cat "$WORK/last.log" >&2; exit 1; }
    nothing=$(time_ms $CLI --changed "$WORK/changed/pbench.vnp")
    grep -q "Build Changed: 0 compiled, $SOURCES up to date" "$WORK/last.log" || { cat "$WORK/last.log" >&2; exit 1; }
    touch "$WORK/changed/d3/f3.c"
    source=$(time_ms $CLI --changed "$WORK/changed/pbench.vnp")
    grep -q "Build Changed: 1 compiled, $((SOURCES - 1)) up to date" "$WORK/last.log" || { cat "$WORK/last.log" >&2; exit 1; }
    rm -rf "$CCACHE_DIR"
    cold=$(time_ms $CLI --launcher ccache "$WORK/cached/pbench.vnp")
    warm=$(time_ms $CLI --launcher ccache "$WORK/cached/pbench.vnp")
    if [ "$round" -gt 0 ]; then
        for side in full header nothing source cold warm; do
            eval "echo \$$side" >> "$WORK/$side.times"
        done
        echo "round $round: full $full, header $header, nothing $nothing, source $source, ccache cold $cold, warm $warm ms"
    fi
    round=$((round + 1))
done
CCACHE_DIR="$CCACHE_DIR" ccache --show-stats | sed -n '1,8p'

median() { sort -n "$WORK/$1.times" | sed -n "$(( (RUNS + 1) / 2 ))p"; }
ratio() { awk "BEGIN{printf \"%.3f\", $1/$2}"; }
full=$(median full)
cold=$(median cold)
echo "full build:                      $full ms"
echo "--changed, header touched:       $(median header) ms ($(ratio "$(median header)" "$full")x full, goal <= 1.05)"
echo "--changed, nothing touched:      $(median nothing) ms ($(ratio "$(median nothing)" "$full")x full, goal <= 0.05)"
echo "--changed, one source touched:   $(median source) ms ($(ratio "$(median source)" "$full")x full, goal <= 0.10)"
echo "ccache, cold cache:              $cold ms"
echo "ccache, warm cache:              $(median warm) ms ($(ratio "$(median warm)" "$cold")x cold, goal <= 0.35)"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
