#include "ToolRun.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace ToolTest;
using TestSupport::TempDir;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

const char kMainAsm[] =
    "\t.file\t\"main.c\"\n"
    "\t.text\n"
    "\t.globl\tmain\n"
    "\t.type\tmain, @function\n"
    "main:\n"
    ".LFB0:\n"
    "\t.loc 1 2 1\n"
    "\t.cfi_startproc\n"
    "\tcall\thelper\n"
    "\tmovl\tg_score(%rip), %eax\n"
    "\tret\n"
    "\t.cfi_endproc\n"
    "\t.size\tmain, .-main\n"
    "\t.section\t.debug_info,\"\",@progbits\n"
    ".Ldebug_info0:\n"
    "\t.long\t0x42\n"
    "\t.text\n"
    "\t.globl\tg_score\n"
    "\t.type\tg_score, @object\n"
    "g_score:\n"
    "\t.long\t7\n"
    "\t.ident\t\"GCC\"\n";

const char kHelperAsm[] =
    "\t.globl\thelper\n"
    "\t.type\thelper, @function\n"
    "helper:\n"
    "\tret\n";

} // namespace

TEST(Lintel, LinksProgramWithLibrariesFoundInOrder)
{
    TempDir tmp;
    writeFile(tmp.file("Output/main.s"), kMainAsm);
    writeFile(tmp.file("lib/helper.s"), kHelperAsm);
    TestSupport::makeDirs(tmp.file("first"));
    TestSupport::makeDirs(tmp.file("second"));

    ToolResult r = runTool(tmp.path(), "lintel  -L second/KVStd.lib lib/helper.s");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(readFile(tmp.file("second/KVStd.lib")),
              "VARNEL-LIBRARY 1\nmember " + std::to_string(sizeof kHelperAsm - 1) + " helper.s\n" + kHelperAsm + "\nend\n");

    // Doubled spaces as the build composes them; "first" has no library.
    r = runTool(tmp.path(), "lintel    -sfirst -ssecond -B Output/program Output/main.s  KVStd.lib ");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(readFile(tmp.file("Output/program")),
              "VARNEL-PROGRAM 1\ninput Output/main.s\nfunction main\nobject g_score\nfunction helper\n"
              "library second/KVStd.lib\nentry main\nend\n");

    // The first directory that has it wins; a name with "/" is taken as given.
    writeFile(tmp.file("first/KVStd.lib"), "VARNEL-LIBRARY 1\nmember " + std::to_string(sizeof kHelperAsm - 1)
                                               + " helper.s\n" + kHelperAsm + "\nend\n");
    r = runTool(tmp.path(), "lintel -sfirst -ssecond -B Output/program Output/main.s KVStd.lib");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(contains(readFile(tmp.file("Output/program")), "library first/KVStd.lib\n"));
    r = runTool(tmp.path(), "lintel -sfirst -B Output/program Output/main.s second/KVStd.lib");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(contains(readFile(tmp.file("Output/program")), "library second/KVStd.lib\n"));
}

TEST(Lintel, MissingAndDamagedInputsAreErrorsNamingTheFile)
{
    TempDir tmp;
    writeFile(tmp.file("main.s"), kMainAsm);
    writeFile(tmp.file("libs/Cut.lib"), "VARNEL-LIBRARY 1\nmember 500 a.s\nshort\n");
    writeFile(tmp.file("libs/Other.lib"), "not a library\n");

    struct Case {
        std::string args, message;
    };
    const Case cases[] = {
        {"-slibs -B program main.s KVStd.lib", "lintel: error: cannot find library KVStd.lib (searched libs)"},
        {"-B program main.s KVStd.lib", "lintel: error: cannot find library KVStd.lib (no library directory given)"},
        {"-slibs -B program gone.s", "lintel: error: cannot find input file gone.s"},
        {"-slibs -B program libs", "lintel: error: input file libs is a directory"},
        {"-slibs -B program main.s Cut.lib", "libs/Cut.lib: damaged library: member a.s runs past the end"},
        {"-slibs -B program main.s Other.lib", "libs/Other.lib: not a lintel library"},
        {"-slibs -B", "lintel: error: option -B needs a file name"},
        {"-R res -B program x.lst", "lintel: error: -R cannot be combined with -B or -L"},
    };
    for (const Case& c : cases) {
        const ToolResult r = runTool(tmp.path(), "lintel " + c.args);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_TRUE(contains(r.output, c.message)) << c.args << "\n" << r.output;
        EXPECT_FALSE(TestSupport::exists(tmp.file("program"))) << c.args;
    }
}

TEST(Lintel, ResourceListsAndTheirBadLines)
{
    TempDir tmp;
    writeFile(tmp.file("res/a.txt"), "alpha");
    writeFile(tmp.file("res/sub/b.bin"), std::string("b\0b\n", 4));
    writeFile(tmp.file("res/good.lst"), "# images\n\na.txt\r\n  sub\\b.bin  \n");
    writeFile(tmp.file("res/bad.lst"), "a.txt\n# fine\n\nmissing.png\nsub\n");

    ToolResult r = runTool(tmp.path(), "lintel  -R Output/resources  res/good.lst");
    ASSERT_EQ(r.code, 1) << "Output does not exist yet\n" << r.output;
    TestSupport::makeDirs(tmp.file("Output"));
    r = runTool(tmp.path(), "lintel  -R Output/resources  res/good.lst");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(readFile(tmp.file("Output/resources")),
              "VARNEL-RESOURCES 1\ncount 2\nresource 0 5 a.txt\nalpha\nresource 1 4 sub/b.bin\n"
                  + std::string("b\0b\n", 4) + "\n");

    r = runTool(tmp.path(), "lintel -R Output/bad res/good.lst res/bad.lst res/none.lst");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.output, "res/bad.lst:4: error: cannot find resource file 'missing.png'\n")) << r.output;
    EXPECT_TRUE(contains(r.output, "res/bad.lst:5: error: 'sub' is a directory, not a resource file\n"));
    EXPECT_TRUE(contains(r.output, "lintel: error: cannot open resource list res/none.lst"));
    EXPECT_FALSE(TestSupport::exists(tmp.file("Output/bad")));
}

TEST(Lintel, DeadCodeEliminationWritesRebuildAndSecondPassReadsIt)
{
    TempDir tmp;
    writeFile(tmp.file("Output/main.s"), kMainAsm);
    writeFile(tmp.file("lib/helper.s"), kHelperAsm);
    ASSERT_EQ(runTool(tmp.path(), "lintel -L lib/KVStd.lib lib/helper.s").code, 0);

    // A second unit with the same local label and a string that looks like one.
    writeFile(tmp.file("Output/other.s"), "\t.text\n.LFB0:\n\tjmp\t.LFB0\n\t.string\t\".LFB0 stays\"\n"
                                          "\t.globl\tunused\n\t.type\tunused, @function\nunused:\n\tcall\thelper\n"
                                          "\tret\n\t.size\tunused, .-unused\n");

    ToolResult r = runTool(tmp.path(), "lintel  -slib -elim -B Output/program Output/main.s  Output/other.s  KVStd.lib ");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "lintel: removed 1 of 3 functions, ")) << r.output;
    const std::string rebuild = readFile(tmp.file("rebuild.s"));
    EXPECT_FALSE(contains(rebuild, "unused")) << rebuild;
    EXPECT_TRUE(contains(rebuild, "main:\n.LFB0.1:\n")) << rebuild;
    EXPECT_TRUE(contains(rebuild, ".LFB0.2:\n\tjmp\t.LFB0.2\n\t.string\t\".LFB0 stays\"\n")) << rebuild;
    EXPECT_TRUE(contains(rebuild, "helper:\n")) << "library code is part of the program";
    EXPECT_TRUE(contains(rebuild, "g_score:\n\t.long\t7\n")) << "data after a debug section survives";
    for (const char* gone : {".debug_info", ".Ldebug_info0", ".loc", ".cfi_", ".ident", ".file"})
        EXPECT_FALSE(contains(rebuild, gone)) << gone;
    if (TestSupport::exists("/usr/bin/as")) {
        Platform::ProcessRunner runner;
        std::string asOutput;
        const auto assembled = runner.run("/usr/bin/as -o " + tmp.file("rebuild.o") + " " + tmp.file("rebuild.s"), true,
                                          [&](const char* d, size_t n) { asOutput.append(d, n); });
        EXPECT_EQ(assembled.code, 0) << "the reduced program still assembles\n" << asOutput;
    }

    r = runTool(tmp.path(), "lintel -no-verify  -B Output/program " + tmp.file("rebuild.s"));
    ASSERT_EQ(r.code, 0) << r.output;
    const std::string program = readFile(tmp.file("Output/program"));
    EXPECT_TRUE(contains(program, "function main\nobject g_score\nfunction helper\n")) << program;
    EXPECT_FALSE(contains(program, "library "));
}

TEST(Lintel, ProgramWithoutMainIsAnErrorUnlessNotVerifying)
{
    TempDir tmp;
    writeFile(tmp.file("helper.s"), kHelperAsm);
    ToolResult r = runTool(tmp.path(), "lintel -B program helper.s");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.output, "lintel: error: the program defines no entry point main\n")) << r.output;
    EXPECT_FALSE(TestSupport::exists(tmp.file("program")));
    r = runTool(tmp.path(), "lintel -no-verify -B program helper.s");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_FALSE(contains(r.output, "entry point"));
    const ToolResult help = runTool(tmp.path(), "lintel --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(contains(help.output, "stand-in"));
}

// Names resolve across files and library members; statics stay private to
// their file, weak definitions give way, and every failure names the file.
TEST(Lintel, ResolvesNamesAcrossFilesAndLibraries)
{
    TempDir tmp;
    const std::string mainAsm = "\t.globl\tmain\n\t.type\tmain, @function\nmain:\n\tcall\tshared\n"
                                "\tleaq\ttable(%rip), %rax\n\tcall\tlocalOnly\n\tret\n"
                                "localOnly:\n\tret\n";
    writeFile(tmp.file("main.s"), mainAsm);
    writeFile(tmp.file("shared.s"), "\t.globl\tshared\nshared:\n\tjmp\tlocalOnly\nlocalOnly:\n\tret\n");
    writeFile(tmp.file("table.s"), "\t.data\n\t.globl\ttable\ntable:\n\t.quad\tshared\n");
    writeFile(tmp.file("weak.s"), "\t.weak\tshared\nshared:\n\tret\n");
    writeFile(tmp.file("twice.s"), "\t.globl\tshared\nshared:\n\tret\n");
    writeFile(tmp.file("calls.s"), "\t.globl\tother\nother:\n\tcall\tnosuch\n\tmovl\t$gone, %eax\n\tret\n");
    // Line ends as other tools write them, and a string that looks like code.
    writeFile(tmp.file("crlf.s"), "\t.globl\tcrlf\r\ncrlf:\r\n\tcall\tnosuch\r\n\tret\r\n");
    writeFile(tmp.file("nolf.s"), "\t.globl\tnolf\nnolf:\n\tret\n\tjmp\tlast");
    writeFile(tmp.file("quoted.s"), "\t.globl\tquoted\nquoted:\n\tleaq\t" R"("a\" # b\\"+ghost(%rip), %rax)" "\n\tret\n");
    ASSERT_EQ(runTool(tmp.path(), "lintel -L lib/Parts.lib shared.s table.s").code, 1) << "lib/ does not exist";
    TestSupport::makeDirs(tmp.file("lib"));
    ASSERT_EQ(runTool(tmp.path(), "lintel -L lib/Parts.lib shared.s table.s").code, 0);

    struct Case {
        std::string args;
        int code;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"-B program main.s shared.s table.s", 0, {"program program written"}},
        {"-slib -B program main.s Parts.lib", 0, {"program program written"}},
        {"-B program main.s weak.s shared.s table.s", 0, {"program program written"}},
        // Without the compiler's line information the assembly is the source.
        {"-B program main.s table.s", 1, {"main.s:4: error: undefined reference to `shared'\n",
                                          "table.s:4: error: undefined reference to `shared'\n"}},
        {"-B program main.s shared.s table.s twice.s", 1,
         {"twice.s:2: error: multiple definition of `shared'\nshared.s:2: note: first defined here\n"}},
        {"-slib -B program main.s twice.s Parts.lib calls.s", 1,
         {"calls.s:3: error: undefined reference to `nosuch'\n", "calls.s:4: error: undefined reference to `gone'\n"}},
        {"-B program main.s shared.s table.s crlf.s nolf.s quoted.s", 1,
         {"crlf.s:3: error: undefined reference to `nosuch'\n", "nolf.s:4: error: undefined reference to `last'\n",
          "quoted.s:3: error: undefined reference to `ghost'\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::remove(tmp.file("program").c_str());
        const ToolResult r = runTool(tmp.path(), "lintel " + c.args);
        EXPECT_EQ(r.code, c.code) << r.output;
        for (const std::string& line : c.lines)
            EXPECT_TRUE(contains(r.output, line)) << r.output;
        EXPECT_EQ(TestSupport::exists(tmp.file("program")), c.code == 0);
    }
    // Library members join the program in the order they are needed.
    ASSERT_EQ(runTool(tmp.path(), "lintel -slib -B program main.s Parts.lib").code, 0);
    EXPECT_TRUE(contains(readFile(tmp.file("program")), "label shared\nlabel table\n"));
    // A name two files define is listed once, however many come between.
    std::string statics = "\t.type\ts0, @object\ns0:\n";
    for (int i = 1; i < 40; ++i)
        statics += "\t.type\ts" + std::to_string(i) + ", @object\ns" + std::to_string(i) + ":\n";
    writeFile(tmp.file("statics.s"), statics + "\t.type\tshared, @object\n");
    ASSERT_EQ(runTool(tmp.path(), "lintel -B program main.s shared.s table.s statics.s").code, 0);
    const std::string program = readFile(tmp.file("program"));
    EXPECT_EQ(program.find("shared\n"), program.rfind("shared\n")) << program;
}

// A doubled or trailing ";" in a library directory list gives a bare "-s";
// it is an empty directory and must never take the next option as its value.
// A link that writes neither program nor library is a failure, so a build can
// never go on with the previous build's program.
TEST(Lintel, BareLibraryDirectoryAndLinksThatWriteNothing)
{
    TempDir tmp;
    writeFile(tmp.file("main.s"), kMainAsm);
    writeFile(tmp.file("lib/helper.s"), kHelperAsm);
    ASSERT_EQ(runTool(tmp.path(), "lintel -L lib/KVStd.lib lib/helper.s").code, 0);

    struct Case {
        std::string args;
        int code;
        std::string message;  // in the output
        std::string written;  // file that must exist afterwards, or ""
    };
    const Case cases[] = {
        {"-slib -s -B program main.s KVStd.lib", 0, "program program written", "program"},
        {"-s -slib -B program main.s KVStd.lib", 0, "program program written", "program"},
        {"-s -L out.lib main.s", 0, "library out.lib written", "out.lib"},
        {"-slib -s -elim main.s KVStd.lib", 0, "", "rebuild.s"},
        {"-slib main.s KVStd.lib", 1, "lintel: error: no -B or -L given: nothing would be written", ""},
        {"-slib -s", 1, "lintel: error: no -B or -L given", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        for (const char* f : {"program", "out.lib", "rebuild.s"})
            std::remove(tmp.file(f).c_str());
        const ToolResult r = runTool(tmp.path(), "lintel " + c.args);
        EXPECT_EQ(r.code, c.code) << r.output;
        EXPECT_TRUE(contains(r.output, c.message)) << r.output;
        EXPECT_FALSE(contains(r.output, "warning: ignoring unknown option")) << r.output;
        if (!c.written.empty()) {
            EXPECT_TRUE(TestSupport::exists(tmp.file(c.written)));
        }
    }
    // The bare -s did not take "-B" as a directory: the program names the library it found.
    EXPECT_EQ(runTool(tmp.path(), "lintel -slib -s -B program main.s KVStd.lib").code, 0);
    EXPECT_TRUE(contains(readFile(tmp.file("program")), "library lib/KVStd.lib\n"));
    // A rebuild.s that cannot be replaced fails the link and leaves no partial file.
    TestSupport::makeDirs(tmp.file("rebuild.s/kept"));
    const ToolResult r = runTool(tmp.path(), "lintel -slib -elim main.s KVStd.lib");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.output, "lintel: error: cannot write rebuild.s: cannot replace the file: ")) << r.output;
    EXPECT_FALSE(TestSupport::exists(tmp.file("rebuild.s.lintel-tmp")));
}

// Real compiler output with the shapes that make cutting hard: a static
// constructor reached only through .init_array, a jump table, a string shared
// by two functions, a cold part split from main. What nothing reaches goes;
// the rest still assembles.
TEST(Lintel, DeadCodeEliminationOnCompilerOutput)
{
    TempDir tmp;
    writeFile(tmp.file("a.cpp"),
              "extern \"C\" int kvYield(void);\n"
              "extern \"C\" void kvDrawText(int, int, const char*, unsigned);\n"
              "struct Counter { int n; Counter() : n(kvYield()) {} };\n"
              "static Counter g_counter;\n"
              "static int pick(int k) {\n"
              "    switch (k) { case 0: return 3; case 1: return 9; case 2: return 11; case 3: return 40;\n"
              "                 case 4: return 2; case 5: return 17; default: return -1; }\n"
              "}\n"
              "__attribute__((noinline)) int label(int k) { kvDrawText(0, 0, \"hello\", 1); return pick(k); }\n"
              "__attribute__((noinline)) int unused(int k) { kvDrawText(0, 0, \"hello\", 2); return pick(k + 1) * 3; }\n"
              "__attribute__((noinline, cold)) void coldPath() { kvDrawText(1, 1, \"cold\", 3); }\n"
              "int main(int argc, char**) { if (__builtin_expect(argc > 5, 0)) coldPath();\n"
              "    return label(argc) + g_counter.n; }\n");
    ToolResult r = runTool(tmp.path(), "xgcc -g -o a.s -S -O2 a.cpp");
    ASSERT_EQ(r.code, 0) << r.output;
    const std::string lib = std::string(VARBUILD_KIT_DIR) + "/lib/pipe";
    r = runTool(tmp.path(), "lintel -s" + lib + " -elim -B program a.s KVStd.lib");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "lintel: removed ")) << r.output;
    const std::string rebuild = readFile(tmp.file("rebuild.s"));
    EXPECT_FALSE(contains(rebuild, "_Z6unusedi:")) << rebuild;
    EXPECT_FALSE(contains(rebuild, "kvStrLen:"));
    for (const char* kept : {"main:", "_Z5labeli:", "_Z8coldPathv:", "_GLOBAL__sub_I_", ".init_array", "kvYield:"})
        EXPECT_TRUE(contains(rebuild, kept)) << kept;
    Platform::ProcessRunner runner;
    std::string asOutput;
    const auto assembled = runner.run("/usr/bin/as -o " + tmp.file("rebuild.o") + " " + tmp.file("rebuild.s"), true,
                                      [&](const char* d, size_t n) { asOutput.append(d, n); });
    EXPECT_EQ(assembled.code, 0) << asOutput;
    r = runTool(tmp.path(), "lintel -no-verify -B program rebuild.s");
    EXPECT_EQ(r.code, 0) << r.output;
}

// What dead-code elimination leaves must do what the whole program does: each
// program is compiled by xgcc, linked with -elim, and both its assembly and
// rebuild.s are assembled and linked by the host compiler and run.
TEST(Lintel, DeadCodeEliminationKeepsWhatProgramsDo)
{
    if (!TestSupport::exists("/usr/bin/gcc"))
        GTEST_SKIP() << "no host compiler";
    struct Source {
        std::string name, text;
    };
    struct Case {
        const char* what;
        std::string flags;
        std::vector<Source> sources;
        int exitCode;     // of both programs
        std::string gone; // a label elimination must have removed
    };
    const Case cases[] = {
        {"aligned data after dead data", "-g",
         {{"a.c", "#include <emmintrin.h>\n__attribute__((aligned(16))) int arr[4] = {1, 2, 3, 4};\n"
                  "int g_dead = 77;\nint g_live;\nint g_step = 3;\n"
                  "__attribute__((noinline)) static int total(const int* p) {\n"
                  "    __m128i v = _mm_load_si128((const __m128i*)p);\n"
                  "    v = _mm_add_epi32(v, _mm_shuffle_epi32(v, 0x4E));\n"
                  "    return _mm_cvtsi128_si32(_mm_add_epi32(v, _mm_shuffle_epi32(v, 0xB1)));\n}\n"
                  "int main(void) { g_live = total(arr) - g_step; return g_live; }\n"}},
         7, "g_dead:"},
        {"constructor", "",
         {{"a.c", "int g_value = 2;\n__attribute__((constructor)) static void setup(void) { g_value = 40; }\n"
                  "int unusedStep(int k) { return k * 7; }\nint main(void) { return g_value + 2; }\n"}},
         42, "unusedStep:"},
        {"C++ file-static object", "-g",
         {{"a.cpp", "extern \"C\" int seed(void);\nint g_seed = 41;\nstruct Init { int v; Init() : v(seed()) {} };\n"
                    "__attribute__((noinline)) int deadNeighbour(int k) { return k * 3 + g_seed; }\n"
                    "static Init s_init;\nextern \"C\" int seed(void) { return *(volatile int*)&g_seed + 1; }\n"
                    "int main() { return s_init.v; }\n"}},
         42, "_Z13deadNeighbouri:"},
        {"jump tables", "",
         {{"a.c", "__attribute__((noinline)) int deadPick(int k) { switch (k) { case 0: return 9; case 1: return 2;\n"
                  "    case 2: return 31; case 3: return 4; case 4: return 15; case 5: return 6; default: return 0; } }\n"
                  "__attribute__((noinline)) int pick(int k) { switch (k) { case 0: return 3; case 1: return 9;\n"
                  "    case 2: return 11; case 3: return 40; case 4: return 2; case 5: return 17; default: return -1; } }\n"
                  "int main(int argc, char** argv) { (void)argv; return pick(argc + 2); }\n"}},
         40, "deadPick:"},
        {"string literals shared with dead code", "-g",
         {{"a.cpp", "static int measure(const char* s) { int n = 0; while (*(volatile const char*)s++) ++n; return n; }\n"
                    "__attribute__((noinline)) int unusedText() { return measure(\"a shared literal\") * 2; }\n"
                    "static const char* const kNames[] = {\"zero\", \"one\", \"three\"};\n"
                    "const char* volatile g_pick = \"a shared literal\";\n"
                    "int main() { return measure(g_pick) + measure(kNames[2]) + measure(\"a shared literal\"); }\n"}},
         37, "_Z10unusedTextv:"},
        {"weak definitions and a weak reference", "-g",
         {{"weak.c", "__attribute__((weak)) int hook(void) { return 1; }\n"
                     "extern int optional(void) __attribute__((weak));\n__attribute__((weak)) int g_limit = 3;\n"
                     "int spare(void) { return 9; }\n"
                     "int main(void) { return hook() * 10 + g_limit + (optional ? 100 : 0); }\n"},
          {"strong.c", "int hook(void) { return 5; }\nint g_limit = 7;\n"}},
         57, "spare:"},
        {"a string holding quotes, a comment sign and names like labels and statics", "-g",
         {{"a.c", R"(static int helper(int k) { return k + 1; }
__attribute__((noinline)) int dead(int k) { return helper(k) * 2; }
static const char* volatile g_text = "\".L2\\\" helper .L3 # \\";
int main(void) { int n = 0; while (g_text[n]) ++n; return helper(n); }
)"}},
         22, "dead:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        std::string assembly;
        for (const Source& s : c.sources) {
            writeFile(tmp.file(s.name), s.text);
            const std::string out = s.name.substr(0, s.name.find('.')) + ".s";
            const ToolResult r = runTool(tmp.path(), "xgcc " + c.flags + " -o " + out + " -S -O2 " + s.name);
            ASSERT_EQ(r.code, 0) << r.output;
            assembly += " " + tmp.file(out);
        }
        const ToolResult linked = runTool(tmp.path(), "lintel -elim -B program" + assembly);
        ASSERT_EQ(linked.code, 0) << linked.output;
        EXPECT_FALSE(contains(readFile(tmp.file("rebuild.s")), c.gone)) << "nothing removed";
        Platform::ProcessRunner runner;
        std::string output;
        auto run = [&](const std::string& command) {
            return runner.run(command, true, [&](const char* d, size_t n) { output.append(d, n); }).code;
        };
        ASSERT_EQ(run("/usr/bin/gcc -o " + tmp.file("whole") + assembly), 0) << output;
        ASSERT_EQ(run("/usr/bin/gcc -o " + tmp.file("reduced") + " " + tmp.file("rebuild.s")), 0) << output;
        EXPECT_EQ(run(tmp.file("whole")), c.exitCode);
        EXPECT_EQ(run(tmp.file("reduced")), c.exitCode) << readFile(tmp.file("rebuild.s"));
    }
}
