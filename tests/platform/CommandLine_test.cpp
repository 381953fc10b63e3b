#include "platform/CommandLine.h"
#include "util/PathUtil.h"

#include <gtest/gtest.h>

using Platform::splitCommandLine;
using Words = std::vector<std::string>;

namespace {

struct SplitCase {
    const char* line;
    Words words;
};

} // namespace

TEST(CommandLine, SplitsLikeTheRuntime)
{
    const SplitCase cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"prog", {"prog"}},
        {"  prog  a\tb  ", {"prog", "a", "b"}},
        // Doubled spaces from composed build commands never give empty words.
        {"lintel   -sX  -B P  main.s  ", {"lintel", "-sX", "-B", "P", "main.s"}},
        {"p \"a b\" c", {"p", "a b", "c"}},
        {"p a\"b c\"d", {"p", "ab cd"}},
        {"p \"\"", {"p", ""}},
        {"p \"\" x", {"p", "", "x"}},
        {"p \"unterminated arg", {"p", "unterminated arg"}},
        // Backslashes: literal unless they precede a quote.
        {"p C:\\dir\\file", {"p", "C:\\dir\\file"}},
        {"p a\\\\b", {"p", "a\\\\b"}},
        {"p a\\\"b", {"p", "a\"b"}},               // 1 -> literal quote
        {"p a\\\\\"b c\"", {"p", "a\\b c"}},        // 2 -> one backslash, quote toggles
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},          // 3 -> one backslash and a quote
        {"p \"C:\\dir\\\\\" x", {"p", "C:\\dir\\", "x"}},
        {"p \"trailing\\\\\"", {"p", "trailing\\"}},
        // A doubled quote inside quotes is a literal quote, quoting goes on.
        {"p \"a\"\"b c\"", {"p", "a\"b c"}},
        {"p \"\"\"\"", {"p", "\""}},
        // The program name: quotes only toggle, backslashes stay.
        {"\"C:\\Program Files\\x\" -a", {"C:\\Program Files\\x", "-a"}},
        {"dir\\prog\\\" a", {"dir\\prog\\ a"}},
        {"\"my prog\"x y", {"my progx", "y"}},
        {"\"\" a", {"", "a"}},
    };
    for (const SplitCase& c : cases)
        EXPECT_EQ(splitCommandLine(c.line), c.words) << "line: " << c.line;
}

TEST(CommandLine, QuotedArgumentsRoundTrip)
{
    const std::vector<std::string> args = {
        "plain",
        "with space",
        "tab\there",
        "quote\"inside",
        "\"",
        "ends with backslash\\",
        "ends with two\\\\",
        "backslash\\\"quote",
        "C:\\Program Files\\Varnel\\include",
        "  leading and trailing  ",
        "a\\\\\"b\"\"c",
        "/home/u/my game/Output/main.s",
    };
    for (const std::string& arg : args) {
        const std::string line = "prog " + Brask::quoteArgument(arg) + " next";
        EXPECT_EQ(splitCommandLine(line), (Words{"prog", arg, "next"})) << "line: " << line;
    }
    // The whole list at once.
    std::string line = "prog";
    for (const std::string& arg : args)
        line += " " + Brask::quoteArgument(arg);
    Words expected{"prog"};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(splitCommandLine(line), expected);
}

TEST(CommandLine, QuotedProgramPathWithBlanks)
{
    const std::string program = "/opt/my kit/bin/xgcc";
    EXPECT_EQ(splitCommandLine(Brask::quoteArgument(program) + " -g"), (Words{program, "-g"}));
}
