#include "support/TestSupport.h"
#include "util/PathUtil.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace Brask;

namespace {

struct SplitCase {
    const char* text;
    const char* separator;
    Vector<String> pieces;
};

} // namespace

TEST(PathUtilTest, SplitKeepsEmptyPieces)
{
    const SplitCase cases[] = {
        {"", ";", {""}},
        {";", ";", {"", ""}},
        {"a", ";", {"a"}},
        {"a;", ";", {"a", ""}},
        {";a", ";", {"", "a"}},
        {"a;;b", ";", {"a", "", "b"}},
        {"a::b::", "::", {"a", "b", ""}},
        {"a b  c", " ", {"a", "b", "", "c"}},
        {"abc", "", {"abc"}},  // an empty separator must not loop
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(std::string("text=\"") + c.text + "\" sep=\"" + c.separator + "\"");
        EXPECT_EQ(split(c.text, c.separator), c.pieces);
    }
}

TEST(PathUtilTest, SplitAppendsAfterExistingContent)
{
    Vector<String> out{"x"};
    split("a;b", ";", out);
    EXPECT_EQ(out, (Vector<String>{"x", "a", "b"}));
}

TEST(PathUtilTest, JoinPutsSeparatorsOnlyBetween)
{
    EXPECT_EQ(join({}, ";"), "");
    EXPECT_EQ(join({"a"}, ";"), "a");
    EXPECT_EQ(join({"a", "", "b"}, ";"), "a;;b");
    EXPECT_EQ(join(split("x;y;", ";"), ";"), "x;y;");
}

TEST(PathUtilTest, StartsWith)
{
    EXPECT_TRUE(startsWith("KV_PROF_SUPPORT", "KV_PROF_SUPPORT_BT"));
    EXPECT_TRUE(startsWith("KV_PROF_SUPPORT", "KV_PROF_SUPPORT"));
    EXPECT_FALSE(startsWith("KV_PROF_SUPPORT", "KV_PROF_SUP"));
    EXPECT_TRUE(startsWith("", "anything"));
    EXPECT_TRUE(startsWith("", ""));
    EXPECT_FALSE(startsWith("KV", "kv_x"));
}

TEST(PathUtilTest, ToIntTakesStrtoulAsSigned32Bit)
{
    EXPECT_EQ(toInt("176"), 176);
    EXPECT_EQ(toInt("-5"), -5);
    EXPECT_EQ(toInt("abc"), 0);
    EXPECT_EQ(toInt("12x"), 12);
    EXPECT_EQ(toInt("007"), 7);
    EXPECT_EQ(toInt("4294967295"), -1);
    EXPECT_EQ(toInt(""), 0);
}

TEST(PathUtilTest, BooleanTextsAreExactlyTrueOrOne)
{
    EXPECT_TRUE(isTrue("true"));
    EXPECT_TRUE(isTrue("1"));
    EXPECT_FALSE(isTrue("TRUE"));
    EXPECT_FALSE(isTrue("yes"));
    EXPECT_FALSE(isTrue(""));
    EXPECT_FALSE(isTrue(" true"));
}

TEST(PathUtilTest, ToUpperAndSeparators)
{
    EXPECT_EQ(toUpper("main.Cpp"), "MAIN.CPP");
    EXPECT_EQ(toUpper("\xe9x"), "\xe9X");
    EXPECT_EQ(toBackslashes("a/b\\c/"), "a\\b\\c\\");
    EXPECT_EQ(toSlashes("profiles\\runtimes\\1"), "profiles/runtimes/1");
}

TEST(PathUtilTest, AbsoluteDirectoryAndFileNamePart)
{
    TestSupport::TempDir tmp;
    TestSupport::DirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    const String cwd = currentDirectory();

    EXPECT_EQ(absoluteDirectory("game.vnp"), cwd + "/");
    EXPECT_EQ(absoluteDirectory("/work/game/game.vnp"), "/work/game/");
    EXPECT_EQ(absoluteDirectory("/work/game/"), "/work/game/");
    EXPECT_EQ(absoluteDirectory("/work//game///x.c"), "/work/game/");
    EXPECT_EQ(absoluteDirectory("/work/a/../game/./x.c"), "/work/game/");
    // A backslash is part of a Linux name, not a separator.
    EXPECT_EQ(absoluteDirectory("/work\\game\\x.c"), "/");
    EXPECT_EQ(absoluteDirectory("/w\\ork/game\\/x.c"), "/w\\ork/game\\/");
    EXPECT_EQ(absoluteDirectory("../demo/demo.vnp"), absoluteDirectory(cwd + "/../demo/x"));
    EXPECT_EQ(absoluteDirectory("/"), "/");

    EXPECT_EQ(fileNamePart(""), "");
    EXPECT_EQ(fileNamePart("/work/game/"), "");
    EXPECT_EQ(fileNamePart("/work/game/game.vnp"), "game.vnp");
    EXPECT_EQ(fileNamePart("src\\main.c"), "src\\main.c");
    EXPECT_EQ(fileNamePart(toSlashes("src\\main.c")), "main.c");
    EXPECT_EQ(fileNamePart("main.c"), "main.c");
}

TEST(PathUtilTest, RelativePath)
{
    EXPECT_EQ(relativePath("/work/game", "/work/game/src/main.c"), "./src/main.c");
    EXPECT_EQ(relativePath("/work/game/", "/work/game/main.c"), "./main.c");
    EXPECT_EQ(relativePath("/work/game", "/work/lib/x.c"), "../lib/x.c");
    EXPECT_EQ(relativePath("/work/game/deep/er", "/work/x.c"), "../../../x.c");
    EXPECT_EQ(relativePath("/work/game", "/other/x.c"), "../../other/x.c");
    // A directory whose name holds a backslash keeps it.
    EXPECT_EQ(relativePath("/w\\ork/game", "/w\\ork/game/src/main.c"), "./src/main.c");
    EXPECT_EQ(relativePath("/w\\ork/game", "/w\\ork/lib\\x.c"), "../lib\\x.c");
    EXPECT_EQ(relativePath("", "/x"), "");
    EXPECT_EQ(relativePath("/x", ""), "");
}

TEST(PathUtilTest, QuoteArgumentLeavesPlainTextAlone)
{
    EXPECT_EQ(quoteArgument("/home/u/game/Output/main.s"), "/home/u/game/Output/main.s");
    EXPECT_EQ(quoteArgument(""), "");
    EXPECT_EQ(quoteArgument("/home/u/My Projects/x.c"), "\"/home/u/My Projects/x.c\"");
    EXPECT_EQ(quoteArgument("a \"b\""), "\"a \\\"b\\\"\"");
    EXPECT_EQ(quoteArgument("dir with\\"), "\"dir with\\\\\"");
}

TEST(PathUtilTest, GetEnv)
{
    setenv("VARBUILD_TEST_VAR", "value", 1);
    EXPECT_EQ(getEnv("VARBUILD_TEST_VAR"), "value");
    unsetenv("VARBUILD_TEST_VAR");
    EXPECT_EQ(getEnv("VARBUILD_TEST_VAR"), "");
}

TEST(PathUtilTest, FileNamePartResolvesDotComponents)
{
    EXPECT_EQ(fileNamePart("/work/game/src/.."), "game");
    EXPECT_EQ(fileNamePart("/work/game/."), "game");
    EXPECT_EQ(fileNamePart("a/../b.c"), "b.c");
    EXPECT_EQ(fileNamePart("/"), "");
}
