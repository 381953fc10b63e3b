#!/bin/sh
# lintel benchmark: `lintel -elim -B` (the first link pass of a build with
# dead-code elimination) on a generated program, against the host assembler
# and linker doing the same job on the same assembly (`as` per unit, then
# `ld --gc-sections`). Prints wall time and peak memory of each side, from
# /usr/bin/time -v, and the size of the assembly.
#
# usage: bench/lintel_bench.sh [BUILD_DIR] [UNITS] [FUNCTIONS] [RUNS]
#   BUILD_DIR  a configured and built tree (default: build); its kit's xgcc
#              compiles the program, its kit's lintel links it
#   UNITS      generated C sources (default: 60)
#   FUNCTIONS  functions per source (default: 150)
#   RUNS       runs per side; the best wall time is printed (default: 3)
# LINTEL=path runs another lintel on the same assembly (an older build, say).
set -eu

BUILD_DIR=$(cd "${1:-build}" && pwd)
UNITS=${2:-60}
FUNCTIONS=${3:-150}
RUNS=${4:-3}
KIT_BIN="$BUILD_DIR/kit/bin"
LINTEL=${LINTEL:-$KIT_BIN/lintel}
[ -x "$KIT_BIN/xgcc" ] && [ -x "$LINTEL" ] || { echo "no xgcc or lintel in $KIT_BIN: build the tree first" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (Debian package time)" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/lintel-bench-XXXXXX")
trap '[ -n "${KEEP_WORK:-}" ] || rm -rf "$WORK"' EXIT

# Unit U: FUNCTIONS functions with loops, a switch, string literals and
# calls within the unit and into the next one, compiled as a build compiles
# them (xgcc -g, no optimisation). main calls each unit's first function,
# function 3k calls 3k+1 and 3k+3, and nothing calls 3k+2, so elimination
# removes a third.
awk -v units="$UNITS" -v fns="$FUNCTIONS" -v dir="$WORK" 'BEGIN {
    for (u = 0; u < units; ++u) {
        f = dir "/u" u ".c"
        print "int kv_len(const char* s);" > f
        print "struct rec { int a; double b; char name[16]; };" > f
        for (j = 0; j < fns; ++j)
            printf "int u%d_f%d(int n, struct rec* r);\n", u, j > f
        printf "int u%d_f0(int n, struct rec* r);\n", (u + 1) % units > f
        for (j = 0; j < fns; ++j) {
            printf "static const char* const names_%d[] = {\"unit %d\", \"function %d\", \"tab\\t%d\"};\n", j, u, j, j > f
            printf "int u%d_f%d(int n, struct rec* r)\n{\n    int s = %d;\n", u, j, j > f
            printf "    for (int i = 0; i < n; ++i) {\n        s += r[i].a * %d + (int)(r[i].b * %d.5);\n", j + 1, j > f
            printf "        if (s > %d) s -= kv_len(names_%d[i %% 3]) + r[i].name[i %% 16];\n    }\n", 1000 + j, j > f
            printf "    switch (n %% 7) {\n    case 0: s ^= %d; break;\n    case 1: s += %d; break;\n", j * 3, j * 5 > f
            printf "    case 2: s -= %d; break;\n    case 3: s *= 3; break;\n    case 5: s = s / 2 + %d; break;\n", j, j > f
            printf "    default: s += kv_len(r[0].name);\n    }\n" > f
            if (j % 3 == 0 && j + 1 < fns)
                printf "    if (n > 1) s += u%d_f%d(n - 1, r);\n", u, j + 1 > f
            if (j % 3 == 0 && j + 3 < fns)
                printf "    if (n > 1) s += u%d_f%d(n - 1, r);\n", u, j + 3 > f
            if (j == 0 && u + 1 < units)
                printf "    if (n > 2) s += u%d_f0(n - 2, r);\n", u + 1 > f
            printf "    return s;\n}\n" > f
        }
        close(f)
    }
    f = dir "/main.c"
    print "struct rec { int a; double b; char name[16]; };" > f
    print "int kv_len(const char* s)\n{\n    int n = 0;\n    while (s[n])\n        ++n;\n    return n;\n}" > f
    for (u = 0; u < units; ++u)
        printf "int u%d_f0(int n, struct rec* r);\n", u > f
    print "int main(void)\n{\n    struct rec r[4] = {{1, 2.0, \"a\"}, {2, 3.0, \"b\"}, {3, 4.0, \"c\"}, {4, 5.0, \"d\"}};\n    int s = 0;" > f
    for (u = 0; u < units; ++u)
        printf "    s += u%d_f0(4, r);\n", u > f
    print "    return s & 0x7f;\n}" > f
}'

cd "$WORK"
ASM=
for c in *.c; do
    "$KIT_BIN/xgcc" -g -o "${c%.c}.s" -S "$c"
    ASM="$ASM ${c%.c}.s"
done
BYTES=$(cat $ASM | wc -c)

# The host side: C runtime start files and libc as gcc would link them, so
# the program is whole; the start files keep gc-sections honest. The
# dynamic linker named is x86-64 Linux's.
CRT=$(gcc -print-file-name=crt1.o)
CRTI=$(gcc -print-file-name=crti.o)
CRTN=$(gcc -print-file-name=crtn.o)
LIBDIR=$(dirname "$(gcc -print-libgcc-file-name)")
cat > host.sh <<EOF
#!/bin/sh
set -e
OBJ=
for s in $ASM; do as -o "\${s%.s}.o" "\$s"; OBJ="\$OBJ \${s%.s}.o"; done
ld --gc-sections -o host-program -dynamic-linker /lib64/ld-linux-x86-64.so.2 $CRT $CRTI \$OBJ -L$LIBDIR -lc $CRTN
EOF
chmod +x host.sh

# Prints "WALL_SECONDS PEAK_KB" of the best of RUNS runs of a command.
measure()
{
    best=
    i=0
    while [ $i -lt "$RUNS" ]; do
        /usr/bin/time -v -o time.txt "$@" >run.log 2>&1 || { cat run.log >&2; exit 1; }
        wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (k = 1; k <= n; ++k) s = s * 60 + p[k]; print s }' time.txt)
        peak=$(awk -F': ' '/Maximum resident set size/ { print $2 }' time.txt)
        if [ -z "$best" ] || awk -v a="$wall" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
            best="$wall $peak"
        fi
        i=$((i + 1))
    done
    echo "$best"
}

LINTEL_FIG=$(measure "$LINTEL" -elim -B program $ASM)
cp run.log lintel.log
HOST_FIG=$(measure ./host.sh)
# The host side's peak is the larger of as and ld, which time -v reports for
# the biggest child; that is what a machine must hold at once.
echo "program: $UNITS units x $FUNCTIONS functions, -g, $(cat $ASM | wc -l) lines, $BYTES bytes of assembly"
echo "runs per side: $RUNS (best wall time shown)"
printf '%-30s %8s s  %8s KB peak\n' "lintel -elim -B" ${LINTEL_FIG}
printf '%-30s %8s s  %8s KB peak\n' "as + ld --gc-sections" ${HOST_FIG}
awk -v l="${LINTEL_FIG%% *}" -v h="${HOST_FIG%% *}" -v p="${LINTEL_FIG##* }" -v b="$BYTES" \
    'BEGIN { printf "lintel / host wall: %.2f x; lintel peak / assembly: %.2f x\n", l / h, p * 1024 / b }'
grep '^lintel:' lintel.log || true
