#!/bin/sh
# Parallel compile benchmark: varbuild-cli building a generated project of N
# real C sources (small functions sharing a header) with the kit's xgcc, at
# -j 2 and -j 1, against a shell script that runs the same command lines one
# after another.
#
# usage: bench/parallel_bench.sh [BUILD_DIR] [SOURCES] [RUNS]
#   BUILD_DIR  a configured and built tree (default: build); its kit/ is used
#   SOURCES    number of generated C sources (default: 300)
#   RUNS       timed rounds (default: 5)
set -eu

BUILD_DIR=$(cd "${1:-build}" && pwd)
SOURCES=${2:-300}
RUNS=${3:-5}
KIT="$BUILD_DIR/kit"
[ -x "$KIT/bin/varbuild-cli" ] || { echo "no $KIT/bin/varbuild-cli: build the tree first" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/varbuild-pbench-XXXXXX")
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$WORK"' EXIT
PROJ="$WORK/proj"
"$(dirname "$0")/make_project.sh" "$PROJ" "$SOURCES"

export VARNELDIR="$KIT"
CLI="$KIT/bin/varbuild-cli build"

$CLI "$PROJ/pbench.vnp" > "$WORK/first.log" 2>&1 || { cat "$WORK/first.log" >&2; exit 1; }
COMMANDS=$(grep -c '^Running: ' "$WORK/first.log")
{
    echo 'set -u'
    echo "export PATH=\"$KIT/bin:\$PATH\""
    echo "cd \"$PROJ\""
    sed -n 's/^Running: //p' "$WORK/first.log" | while IFS= read -r line; do
        case "$line" in
        "cmd /c mkdir "*) echo "$line || true" ;;
        *) echo "$line || exit \$?" ;;
        esac
    done
} > "$WORK/script.sh"

echo "machine: $(uname -srm), $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "project: $SOURCES sources, $COMMANDS commands per build"

# The three sides take turns, round by round, so a change in the machine's
# load falls on all of them alike; each figure is the median of RUNS rounds
# after one warm-up round.
time_ms()
{
    start=$(date +%s%N)
    "$@" > /dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $(( (end - start) / 1000000 ))
}
: > "$WORK/script.times"; : > "$WORK/j1.times"; : > "$WORK/j2.times"
round=0
while [ "$round" -le "$RUNS" ]; do
    s=$(time_ms sh "$WORK/script.sh")
    a=$(time_ms $CLI -j 1 "$PROJ/pbench.vnp")
    b=$(time_ms $CLI -j 2 "$PROJ/pbench.vnp")
    if [ "$round" -gt 0 ]; then
        echo "$s" >> "$WORK/script.times"; echo "$a" >> "$WORK/j1.times"; echo "$b" >> "$WORK/j2.times"
        echo "round $round: script $s ms, -j 1 $a ms, -j 2 $b ms"
    fi
    round=$((round + 1))
done
median() { sort -n "$1" | sed -n "$(( (RUNS + 1) / 2 ))p"; }
script=$(median "$WORK/script.times")
j1=$(median "$WORK/j1.times")
j2=$(median "$WORK/j2.times")

echo "script (one after another): $script ms"
echo "varbuild-cli -j 1: $j1 ms ($(awk "BEGIN{printf \"%.2f\", $j1/$script}")x the script)"
echo "varbuild-cli -j 2: $j2 ms ($(awk "BEGIN{printf \"%.2f\", $j2/$script}")x the script)"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
