// The C runtime of the kit's default library against the host's C library:
// one program makes a table of calls and prints what they give. It is built
// twice, once by the host compiler against the host's library, once as a kit
// program (xgcc with the kit's headers, lintel -elim with KVStd.lib, the
// reduced assembly linked by the host compiler), and both runs must print
// the same.

#include "ToolRun.h"

#include <gtest/gtest.h>

using namespace ToolTest;
using TestSupport::TempDir;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const char* const Driver = R"(#include <string.h>
#include <stdlib.h>

/* The kit has no stdio: the line goes straight to the host's write(). */
extern long write(int fd, const void* data, unsigned long size) __attribute__((weak));

static char line[256];
static int used;

static void text(const char* s) { while (*s && used < 250) line[used++] = *s++; }
static void number(long n)
{
    char digits[24];
    int k = 0;
    unsigned long u = n < 0 ? 0UL - (unsigned long)n : (unsigned long)n;
    if (n < 0)
        text("-");
    do digits[k++] = (char)('0' + u % 10); while ((u /= 10) && k < 23);
    char reversed[24];
    for (int i = 0; i < k; ++i) reversed[i] = digits[k - 1 - i];
    reversed[k] = 0;
    text(reversed);
    text(" ");
}
static void bytes(const void* p, int n)
{
    const unsigned char* b = p;
    for (int i = 0; i < n; ++i) number(b[i]);
}
static int sign(int v) { return v < 0 ? -1 : v > 0; }
static void row(const char* what) { used = 0; text(what); text(": "); }
static void end(void) { line[used++] = '\n'; write(1, line, (unsigned long)used); }

static int byInt(const void* a, const void* b)
{
    const int x = *(const int*)a, y = *(const int*)b;
    return (x > y) - (x < y);
}
struct Odd { char name[7]; int key; char tail; };
static int byKey(const void* a, const void* b) { return byInt(&((const struct Odd*)a)->key, &((const struct Odd*)b)->key); }

static unsigned next(unsigned* seed) { return *seed = *seed * 1103515245u + 12345u, (*seed >> 8) & 0xffff; }

/* Blocks filled with their own number; every free and realloc checks it. */
static long stress(void)
{
    enum { Slots = 64 };
    unsigned char* block[Slots] = {0};
    unsigned size[Slots] = {0};
    unsigned seed = 7;
    long damaged = 0;
    for (int round = 0; round < 20000; ++round) {
        const int s = (int)(next(&seed) % Slots);
        for (unsigned i = 0; block[s] && i < size[s]; ++i)
            damaged += block[s][i] != (unsigned char)s;
        const unsigned want = next(&seed) % 3000;
        switch (next(&seed) % 3) {
        case 0: free(block[s]); block[s] = malloc(want); size[s] = block[s] ? want : 0; break;
        case 1: {
            unsigned char* grown = realloc(block[s], want + 1);
            if (grown) { block[s] = grown; size[s] = size[s] < want + 1 ? size[s] : want + 1; }
            break;
        }
        default: free(block[s]); block[s] = calloc(want, 1);
            for (unsigned i = 0; block[s] && i < want; ++i) damaged += block[s][i] != 0;
            size[s] = block[s] ? want : 0;
        }
        for (unsigned i = 0; block[s] && i < size[s]; ++i)
            block[s][i] = (unsigned char)s;
    }
    for (int s = 0; s < Slots; ++s)
        free(block[s]);
    return damaged;
}

int main(void)
{
    char buf[32];
    row("memcpy"); memset(buf, '.', sizeof buf); text(memcpy(buf, "copy me", 8) == buf ? "same " : "other "); text(buf); end();
    row("memmove up"); strcpy(buf, "abcdefgh"); memmove(buf + 2, buf, 5); text(buf); end();
    row("memmove down"); strcpy(buf, "abcdefgh"); memmove(buf, buf + 3, 5); text(buf); end();
    row("memset"); memset(buf, 0x1ff, 5); bytes(buf, 6); end();
    row("memcmp"); number(sign(memcmp("abc", "abd", 3))); number(sign(memcmp("\x80", "\x7f", 1)));
        number(sign(memcmp("abc", "abd", 2))); number(sign(memcmp("x", "y", 0))); end();
    row("memchr"); number((char*)memchr("hello", 'l', 5) - "hello"); text(memchr("hello", 'l', 2) ? "found " : "none ");
        number((char*)memchr("a\xe9z", 0xe9, 3) - "a\xe9z"); end();
    row("strlen"); number((long)strlen("")); number((long)strlen("seven!!")); end();
    row("strcmp"); number(sign(strcmp("abc", "abc"))); number(sign(strcmp("ab", "abc")));
        number(sign(strcmp("\xff", "a"))); number(sign(strcmp("b", "a"))); end();
    row("strncmp"); number(sign(strncmp("abcx", "abcy", 3))); number(sign(strncmp("abcx", "abcy", 4)));
        number(sign(strncmp("ab", "ab\xff", 9))); number(sign(strncmp("a", "b", 0))); end();
    row("strcpy"); text(strcpy(buf, "copied") == buf ? buf : "?"); end();
    row("strncpy pads"); memset(buf, 'x', 10); strncpy(buf, "ab", 6); bytes(buf, 8); end();
    row("strncpy cuts"); memset(buf, 'x', 10); strncpy(buf, "abcdef", 3); bytes(buf, 5); end();
    row("strchr"); number(strchr("banana", 'n') - "banana"); number(strchr("banana", 0) - "banana");
        text(strchr("banana", 'z') ? "found " : "none "); end();
    row("strrchr"); number(strrchr("banana", 'a') - "banana"); number(strrchr("banana", 0) - "banana");
        text(strrchr("banana", 'z') ? "found " : "none "); end();
    row("strstr"); number(strstr("aaab", "aab") - "aaab"); number(strstr("abc", "") - "abc");
        text(strstr("abc", "abcd") ? "found " : "none "); text(strstr("", "a") ? "found " : "none "); end();
    row("abs"); number(abs(-7)); number(abs(7)); number(labs(-1234567890123L)); end();

    int values[50];
    for (int i = 0; i < 50; ++i) values[i] = (i * 7919) % 50 * 13 - 300;
    qsort(values, 50, sizeof values[0], byInt);
    row("qsort"); for (int i = 0; i < 50; i += 7) number(values[i]); end();
    int sorted = 1;
    for (int i = 1; i < 50; ++i) sorted &= values[i - 1] <= values[i];
    row("qsort order"); number(sorted); end();
    struct Odd odd[5] = {{"five", 5, 'e'}, {"one", 1, 'a'}, {"four", 4, 'd'}, {"two", 2, 'b'}, {"three", 3, 'c'}};
    qsort(odd, 5, sizeof odd[0], byKey);
    row("qsort records"); for (int i = 0; i < 5; ++i) { char tail[2] = {odd[i].tail, 0}; text(odd[i].name); text(tail); text(" "); } end();
    qsort(values, 0, sizeof values[0], byInt);
    qsort(values, 1, sizeof values[0], byInt);
    row("bsearch"); int key = values[17]; number((int*)bsearch(&key, values, 50, sizeof key, byInt) - values);
        key = 40000; text(bsearch(&key, values, 50, sizeof key, byInt) ? "found " : "none ");
        text(bsearch(&key, values, 0, sizeof key, byInt) ? "found " : "none "); end();

    char* p = malloc(10);
    row("malloc"); text(p ? "ok " : "null "); number((long)((unsigned long)p % 16)); end();
    strcpy(p, "keep");
    p = realloc(p, 5000);
    row("realloc keeps"); text(p); end();
    free(p);
    unsigned char* zero = calloc(300, 7);
    long nonzero = 0;
    for (int i = 0; zero && i < 2100; ++i) nonzero += zero[i] != 0;
    row("calloc"); text(zero ? "ok " : "null "); number(nonzero); end();
    free(zero);
    row("calloc overflow"); text(calloc((unsigned long)-1 / 2, 4) ? "ok" : "null"); end();
    row("malloc too big"); text(malloc((unsigned long)-1 - 64) ? "ok" : "null"); end();
    row("realloc to 0"); text(realloc(malloc(8), 0) ? "ok" : "null"); end();
    free(NULL);
    row("stress"); number(stress()); end();

    /* Everything is free again: one block nearly as large as the kit's heap fits. */
    void* big = malloc(1000 * 1000);
    row("after stress"); text(big ? "ok" : "null"); end();
    free(big);
#ifdef KV_HEAP_SIZE
    row("heap bound"); text(malloc(KV_HEAP_SIZE) ? "over" : "held"); end();
#else
    row("heap bound"); text("held"); end();
#endif
    return 0;
}
)";

std::string run(const std::string& program)
{
    Platform::ProcessRunner runner;
    std::string output;
    const auto result = runner.run(program, true, [&](const char* d, size_t n) { output.append(d, n); });
    return result.failedStep == Platform::StepNone && result.code == 0 ? output
                                                                       : "exit " + std::to_string(result.code) + "\n" + output;
}

} // namespace

TEST(KitRuntime, CallsGiveWhatTheHostLibraryGives)
{
    if (!TestSupport::exists("/usr/bin/gcc"))
        GTEST_SKIP() << "no host compiler";
    TempDir tmp;
    writeFile(tmp.file("driver.c"), Driver);
    const std::string kit = VARBUILD_KIT_DIR;

    const std::string host = run("/usr/bin/gcc -O2 -fno-builtin -w -o " + tmp.file("host") + " " + tmp.file("driver.c"));
    ASSERT_EQ(host, "") << "host build";
    const std::string expected = run(tmp.file("host"));

    ToolResult r = runTool(tmp.path(), "xgcc -g -o driver.s -S -O2 -fno-builtin -Wall -Wno-unused-parameter -I" + kit
                                           + "/include driver.c");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(r.output, "") << "the kit's headers declare what the driver calls";
    r = runTool(tmp.path(), "lintel -s" + kit + "/lib/pipe -elim -B program driver.s KVStd.lib");
    ASSERT_EQ(r.code, 0) << r.output;
    ASSERT_EQ(run("/usr/bin/gcc -o " + tmp.file("kit") + " " + tmp.file("rebuild.s")), "");
    const std::string actual = run(tmp.file("kit"));

    EXPECT_EQ(actual, expected);
    EXPECT_NE(expected.find("stress: 0 \n"), std::string::npos) << expected;
    EXPECT_NE(expected.find("heap bound: held\n"), std::string::npos);
    // The program ran on the kit's own functions, not the host's.
    const std::string rebuild = readFile(tmp.file("rebuild.s"));
    for (const char* own : {"memcpy:", "malloc:", "qsort:", "strstr:"})
        EXPECT_NE(rebuild.find(own), std::string::npos) << own;
}
