// The text helpers every stand-in tool cuts its input with.

#include "Text.h"

#include <gtest/gtest.h>

using namespace ToolText;

TEST(ToolText, LinesKeepALastLineWithoutLineFeedAndTheirCarriageReturns)
{
    struct Case {
        std::string text;
        std::vector<std::string_view> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"\n", {""}},
        {"a\nb", {"a", "b"}},
        {"a\r\n\r\nb\r\n", {"a\r", "\r", "b\r"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lines(c.text), c.lines) << c.text;
    EXPECT_EQ(trim(" \t\r x y\r\n\t"), "x y\r\n");
    EXPECT_EQ(trim(" \r\t"), "");
    EXPECT_EQ(lower("MKDIR /Y \xC4"), "mkdir /y \xC4");
}

TEST(ToolText, StringEndSkipsEscapedQuotesAndStopsAtTheLineEnd)
{
    struct Case {
        std::string_view line;
        size_t open, end;
    };
    const Case cases[] = {
        {R"(x "ab" y)", 2, 6},
        {R"("a\"b" y)", 0, 6},
        {R"("a\\" y)", 0, 5},
        {R"("open)", 0, 5},
        {R"("ends in \)", 0, 10},
    };
    for (const Case& c : cases)
        EXPECT_EQ(stringEnd(c.line, c.open), c.end) << c.line;
}
