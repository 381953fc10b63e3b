#!/bin/sh
# Build benchmark: varbuild-cli building a generated project of N sources
# against a plain shell script that runs the same command lines one after
# another. The compiler is a no-op stand-in, so the figures show what the
# build driver and its process handling add on top of the tools.
#
# usage: bench/build_bench.sh [BUILD_DIR] [SOURCES] [RUNS]
#   BUILD_DIR  a configured and built tree (default: build); its kit/ is copied
#   SOURCES    number of generated C sources (default: 300)
#   RUNS       hyperfine runs per command (default: 20)
# Needs hyperfine; without it, each side is timed RUNS times with date.
set -eu

BUILD_DIR=$(cd "${1:-build}" && pwd)
SOURCES=${2:-300}
RUNS=${3:-20}
KIT_SRC="$BUILD_DIR/kit"
[ -x "$KIT_SRC/bin/varbuild-cli" ] || { echo "no $KIT_SRC/bin/varbuild-cli: build the tree first" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/varbuild-bench-XXXXXX")
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$WORK"' EXIT
KIT="$WORK/kit"
PROJ="$WORK/proj"
cp -r "$KIT_SRC" "$KIT"

# The no-op compiler: creates the file after -o and nothing else.
cat > "$WORK/noop-xgcc.c" <<'CEOF'
#include <fcntl.h>
#include <string.h>
#include <unistd.h>
int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (strcmp(argv[i], "-o") == 0) {
            int fd = open(argv[i + 1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
            return fd < 0 ? 1 : close(fd);
        }
    }
    return 0;
}
CEOF
rm -f "$KIT/bin/xgcc"
cc -O2 -o "$KIT/bin/xgcc" "$WORK/noop-xgcc.c"

# The project: SOURCES files in ten folders, the demo's criteria (none: every
# device of the demo database, so three runtimes are packaged).
mkdir -p "$PROJ"
{
    printf '<Project name="bench">\n\t<Configuration>\n'
    printf '\t\t<Property name="configType" value="app"/>\n'
    # The no-op compiler's empty assembly defines no main.
    printf '\t\t<Property name="extraLinker" value="-no-verify"/>\n'
    printf '\t</Configuration>\n\t<Criteria>\n\t</Criteria>\n'
    i=0
    while [ "$i" -lt "$SOURCES" ]; do
        dir="d$((i % 10))"
        mkdir -p "$PROJ/$dir"
        printf 'int f%d(void) { return %d; }\n' "$i" "$i" > "$PROJ/$dir/f$i.c"
        printf '\t<File path="%s/f%d.c"/>\n' "$dir" "$i"
        i=$((i + 1))
    done
    printf '</Project>\n'
} > "$PROJ/bench.vnp"

export VARNELDIR="$KIT"
CLI="$KIT/bin/varbuild-cli build $PROJ/bench.vnp"

# One build to create Output and to learn the command lines.
$CLI > "$WORK/first.log" 2>/dev/null
COMMANDS=$(grep -c '^Running: ' "$WORK/first.log")

# The same lines as a script: the META-INF zip runs inside Output, the
# mkdir results are ignored, anything else that fails stops the script.
{
    echo 'set -u'
    echo "export PATH=\"$KIT/bin:\$PATH\""
    echo "cd \"$PROJ\""
    sed -n 's/^Running: //p' "$WORK/first.log" | while IFS= read -r line; do
        case "$line" in
        "cmd /c mkdir "*) echo "$line || true" ;;
        *" -r -9 "*" META-INF") echo "cd Output && { $line || exit \$?; } && cd .." ;;
        *) echo "$line || exit \$?" ;;
        esac
    done
} > "$WORK/script.sh"

echo "machine: $(uname -srm), $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "project: $SOURCES sources, $COMMANDS commands per build"

if command -v hyperfine > /dev/null; then
    hyperfine --warmup 3 --runs "$RUNS" -N \
        --command-name varbuild-cli "$CLI" \
        --command-name script "sh $WORK/script.sh" \
        --export-markdown "$WORK/result.md"
    cat "$WORK/result.md"
else
    for name in varbuild-cli script; do
        if [ "$name" = script ]; then cmd="sh $WORK/script.sh"; else cmd="$CLI"; fi
        start=$(date +%s%N)
        n=0
        while [ "$n" -lt "$RUNS" ]; do $cmd > /dev/null 2>&1; n=$((n + 1)); done
        end=$(date +%s%N)
        echo "$name: $(( (end - start) / RUNS / 1000000 )) ms per build"
    done
fi
