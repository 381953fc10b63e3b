// Whatever a file name holds, the editor command gives it to the tool as one
// argument: checked with the splitter that starts the tool.

#include "core/ToolCommandLine.h"
#include "platform/CommandLine.h"

#include <gtest/gtest.h>

TEST(ToolCommandLine, EveryFileNameIsOneArgument)
{
    const std::string patterns[] = {
        "editor -n%line %file",
        "editor \"%file\" -n%line",
        "editor -n%line \"%file\"",
        "editor \"--file=%file\" -x",
        "editor \"$file\"",
        "editor \"%file.bak\" -x",
    };
    const std::string files[] = {
        "/p/src/main.c",
        "/p/My Projects/main.c",
        "/p/a\" --evil=1 \"b.c",
        "/p/\"quoted\".c",
        "/p/back\\slash.c",
        "/p/trailing.c\\",
        "/p/two\\\\\" --x.c",
        "/p/tab\there.c",
        "/p/\\\".c",
    };
    for (const std::string& pattern : patterns) {
        Brask::Config config;
        config.fileTypes = {{"*profile", pattern}};
        size_t token = pattern.find("%file");
        if (token == std::string::npos)
            token = pattern.find("$file");
        std::string shape = pattern.substr(0, token) + "PLACEHOLDER" + pattern.substr(token + 5);
        if (const size_t at = shape.find("%line"); at != std::string::npos)
            shape.replace(at, 5, "7");
        for (const std::string& file : files) {
            SCOPED_TRACE(pattern + " with " + file);
            const std::string line = Brask::toolCommandLine(config, file, 7, true);
            // The pattern's own words around the file stay as they are.
            const std::vector<std::string> expected = Platform::splitCommandLine(shape);
            std::vector<std::string> got = Platform::splitCommandLine(line);
            ASSERT_EQ(expected.size(), got.size()) << line;
            for (size_t i = 0; i < expected.size(); ++i) {
                const size_t at = expected[i].find("PLACEHOLDER");
                if (at == std::string::npos)
                    EXPECT_EQ(expected[i], got[i]) << line;
                else
                    EXPECT_EQ(expected[i].substr(0, at) + file + expected[i].substr(at + 11), got[i]) << line;
            }
        }
    }
}

// Names without quotes, and without a backslash before the pattern's closing
// quote, go in exactly as before.
TEST(ToolCommandLine, PlainNamesAreInsertedUnchanged)
{
    Brask::Config config;
    config.fileTypes = {{"c", "editor -n%line \"%file\""}, {"h", "view %file"}};
    EXPECT_EQ("editor -n3 \"/p/My Projects/a\\b.c\"", Brask::toolCommandLine(config, "/p/My Projects/a\\b.c", 3, false));
    EXPECT_EQ("view /p/x\\y.h", Brask::toolCommandLine(config, "/p/x\\y.h", 0, false));
    EXPECT_EQ("view \"/p/a b.h\"", Brask::toolCommandLine(config, "/p/a b.h", 0, false));
}
