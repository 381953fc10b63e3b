#include "ToolRun.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ToolTest;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

// The default editor launcher hands the file and line to $VISUAL.
TEST(Editor, PassesLineAndFileToTheUsersEditor)
{
    TempDir tmp;
    const std::string recorder = tmp.file("rec.sh");
    writeFile(recorder, "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$REC_OUT\"\n");
    chmod(recorder.c_str(), 0755);
    setenv("VISUAL", recorder.c_str(), 1);
    setenv("REC_OUT", tmp.file("args").c_str(), 1);

    struct Case {
        std::string line;
        std::string args;
    };
    const Case cases[] = {
        {"editor -n17 /p/src/main.c", "[+17][/p/src/main.c]"},
        {"editor -n0 /p/main.c", "[/p/main.c]"},
        {"editor -n /p/main.c", "[/p/main.c]"},
        {"editor \"/p/My Projects/a.c\"", "[/p/My Projects/a.c]"},
    };
    for (const Case& c : cases) {
        const ToolResult r = runTool(tmp.path(), c.line);
        EXPECT_EQ(r.code, 0) << c.line << r.output;
        EXPECT_EQ(readFile(tmp.file("args")), c.args) << c.line;
    }
    unsetenv("VISUAL");
    unsetenv("REC_OUT");

    const ToolResult none = runTool(tmp.path(), "editor -n3");
    EXPECT_EQ(none.code, 2);
    const ToolResult help = runTool(tmp.path(), "editor --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(contains(help.output, "stand-in"));
}
