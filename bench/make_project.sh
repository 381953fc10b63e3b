#!/bin/sh
# Writes the 300-source benchmark project (bench/parallel_bench.sh,
# bench/changed_bench.sh): a library project of N small C sources in ten
# folders, all including one shared header, so the figures are about the
# compile step (one link, no packaging).
#
# usage: bench/make_project.sh DIRECTORY [SOURCES]
set -eu
PROJ=$1
SOURCES=${2:-300}
mkdir -p "$PROJ/include"

cat > "$PROJ/include/shared.h" <<'HEOF'
#ifndef SHARED_H
#define SHARED_H
struct point { int x; int y; };
static inline int clampi(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }
int mix(int a, int b);
#endif
HEOF
{
    printf '<Project name="pbench">\n\t<Configuration>\n'
    printf '\t\t<Property name="configType" value="lib"/>\n'
    printf '\t\t<Property name="outputPath" value="Output/pbench.lib"/>\n'
    printf '\t\t<Property name="additionalIncludeDirectories" value="include"/>\n'
    printf '\t</Configuration>\n\t<Criteria>\n\t</Criteria>\n'
    i=0
    while [ "$i" -lt "$SOURCES" ]; do
        dir="d$((i % 10))"
        mkdir -p "$PROJ/$dir"
        {
            printf '#include "shared.h"\n'
            printf 'int f%d_a(struct point* p) { return clampi(p->x * %d + p->y, 0, 1000); }\n' "$i" "$i"
            printf 'int f%d_b(int n) { int s = 0; for (int k = 0; k < n; ++k) s += mix(k, %d); return s; }\n' "$i" "$i"
            printf 'int f%d_c(const char* t) { int h = %d; while (*t) h = h * 31 + *t++; return h; }\n' "$i" "$i"
        } > "$PROJ/$dir/f$i.c"
        printf '\t<File path="%s/f%d.c"/>\n' "$dir" "$i"
        i=$((i + 1))
    done
    printf '</Project>\n'
} > "$PROJ/pbench.vnp"
