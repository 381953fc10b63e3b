#include "ToolRun.h"

#include <gtest/gtest.h>

using namespace ToolTest;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

const std::string kFlags = "-S -O2 -Wno-unused-parameter ";

std::string compileLine(const TempDir& tmp, const std::string& stem, const std::string& source,
                        const std::string& extra = "")
{
    return "xgcc -g -o " + tmp.file("Output/" + stem + ".s ") + kFlags + extra + "-I" + tmp.file("inc")
        + " -DKVPIP  " + source;
}

} // namespace

TEST(Xgcc, CompilesCAndCxxToAssembly)
{
    TempDir tmp;
    TestSupport::makeDirs(tmp.file("Output"));
    writeFile(tmp.file("inc/shared.h"), "#define ANSWER 42\n");
    // Valid C, invalid C++: the language must follow the extension.
    writeFile(tmp.file("src/plain.c"), "#include \"shared.h\"\nint class = ANSWER;\nint main(void) { return class; }\n");
    writeFile(tmp.file("src/game/World.CPP"),
              "#include \"shared.h\"\nstruct World { int f() const { return ANSWER; } };\n"
              "int worldAnswer() { return World().f(); }\n");
    writeFile(tmp.file("src/util/three.cc"), "namespace u { int three() { return 3; } }\n");

    struct Case {
        std::string stem, source, symbol;
    };
    const Case cases[] = {
        {"plain", tmp.file("src/plain.c"), "main"},
        {"World", tmp.file("src/game/World.CPP"), "worldAnswer"},
        {"three", tmp.file("src/util/three.cc"), "_ZN1u5threeEv"},
    };
    for (const Case& c : cases) {
        const ToolResult r = runTool(tmp.path(), compileLine(tmp, c.stem, c.source, "-Wall "));
        EXPECT_EQ(r.code, 0) << c.source << "\n" << r.output;
        EXPECT_TRUE(contains(TestSupport::readFile(tmp.file("Output/" + c.stem + ".s")), c.symbol)) << c.source;
    }
}

TEST(Xgcc, DiagnosticsInFileLineFormAndNonZeroCode)
{
    TempDir tmp;
    TestSupport::makeDirs(tmp.file("Output"));
    writeFile(tmp.file("bad.c"), "int f(void)\n{\n    return missing;\n}\n");
    writeFile(tmp.file("bad.cpp"), "int g()\n{\n    return std::nothing;\n}\n");
    writeFile(tmp.file("warn.c"), "int h(void)\n{\n    int unused;\n    return 0;\n}\n");
    writeFile(tmp.file("class.c"), "int class = 1;\n");
    writeFile(tmp.file("class.cxx"), "int class = 1;\n");

    struct Case {
        std::string source, extra, diagnostic;
    };
    const Case cases[] = {
        {"bad.c", "", "bad.c:3:"},
        {"bad.cpp", "", "bad.cpp:3:"},
        {"warn.c", "-Werror -Wall ", "warn.c:3:"},
        {"class.cxx", "", "class.cxx:1:"},
    };
    for (const Case& c : cases) {
        const ToolResult r = runTool(tmp.path(), compileLine(tmp, "out", tmp.file(c.source), c.extra));
        EXPECT_NE(r.code, 0) << c.source;
        EXPECT_TRUE(contains(r.output, tmp.file(c.diagnostic))) << c.source << "\n" << r.output;
    }
    // The same text is fine as C, and a warning alone does not fail.
    EXPECT_EQ(runTool(tmp.path(), compileLine(tmp, "out", tmp.file("class.c"))).code, 0);
    EXPECT_EQ(runTool(tmp.path(), compileLine(tmp, "out", tmp.file("warn.c"), "-Wall ")).code, 0);
}

// A backslash is part of a Linux file name: a project directory holding one
// compiles, and nothing turns it into a "/" (VarBuild has already done that
// for Windows-born paths).
TEST(Xgcc, BackslashesArePartOfNamesAndUsage)
{
    TempDir tmp;
    TestSupport::makeDirs(tmp.file("a\\b/Output"));
    writeFile(tmp.file("my inc\\deep/v.h"), "#define V 1\n");
    writeFile(tmp.file("a\\b/v.c"), "#include \"v.h\"\nint v(void) { return V; }\n");
    const ToolResult r = runTool(tmp.path(), "xgcc -g -o a\\b/Output/v.s -S \"-Imy inc\\deep\" a\\b/v.c");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(TestSupport::exists(tmp.file("a\\b/Output/v.s")));
    EXPECT_FALSE(TestSupport::exists(tmp.file("a/b")));

    const ToolResult help = runTool(tmp.path(), "xgcc --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(contains(help.output, "stand-in"));
    const ToolResult none = runTool(tmp.path(), "xgcc -g -o Output/x.s -S");
    EXPECT_EQ(none.code, 1);
    EXPECT_TRUE(contains(none.output, "no source file"));
}
