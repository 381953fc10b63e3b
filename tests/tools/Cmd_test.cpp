#include "ToolRun.h"

#include <gtest/gtest.h>

using namespace ToolTest;
using TestSupport::TempDir;
using TestSupport::exists;
using TestSupport::readFile;
using TestSupport::writeFile;

TEST(Cmd, MkdirCreatesParentsAndRefusesAnExistingOne)
{
    TempDir tmp;
    struct Case {
        std::string line;
        int code;
        std::string output;
    };
    const Case cases[] = {
        {"cmd /c mkdir " + tmp.file("Output"), 0, ""},
        {"cmd /c mkdir " + tmp.file("Output"), 1, "A subdirectory or file " + tmp.file("Output") + " already exists.\n"},
        {"cmd /c mkdir " + tmp.file("Output/META-INF/deep"), 0, ""},
        {"cmd /c mkdir Output/1/x/", 0, ""},
        {"cmd /c mkdir name\\with\\backslashes", 0, ""},
        {"cmd /C MKDIR " + tmp.file("upper"), 0, ""},
        {"cmd /c mkdir", 1, "The syntax of the command is incorrect.\n"},
    };
    for (const Case& c : cases) {
        const ToolResult r = runTool(tmp.path(), c.line);
        EXPECT_EQ(r.code, c.code) << c.line;
        EXPECT_EQ(r.output, c.output) << c.line;
    }
    EXPECT_TRUE(exists(tmp.file("Output/META-INF/deep")));
    EXPECT_TRUE(exists(tmp.file("Output/1/x")));
    EXPECT_TRUE(exists(tmp.file("upper")));
    // A backslash is part of the name: no stray tree.
    EXPECT_TRUE(exists(tmp.file("name\\with\\backslashes")));
    EXPECT_FALSE(exists(tmp.file("name")));

    writeFile(tmp.file("plainfile"), "x");
    const ToolResult onFile = runTool(tmp.path(), "cmd /c mkdir plainfile");
    EXPECT_EQ(onFile.code, 1);
    EXPECT_EQ(onFile.output, "A subdirectory or file plainfile already exists.\n");
}

TEST(Cmd, CopyToFileOrDirectory)
{
    TempDir tmp;
    writeFile(tmp.file("rt/VarnelRuntime.jar"), "jar bytes");
    writeFile(tmp.file("rt/devices.txt"), "devices");
    writeFile(tmp.file("out/1/game.jar"), "old content that is longer");
    const std::string copied = "        1 file(s) copied.\n";

    ToolResult r = runTool(tmp.path(), "cmd /c copy " + tmp.file("rt/VarnelRuntime.jar") + " " + tmp.file("out/1/game.jar") + " /y");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output, copied);
    EXPECT_EQ(readFile(tmp.file("out/1/game.jar")), "jar bytes");

    r = runTool(tmp.path(), "cmd /c copy rt/devices.txt out/1 /y");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(readFile(tmp.file("out/1/devices.txt")), "devices");

    r = runTool(tmp.path(), "cmd /c copy rt/config.h out/1 /y");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.output, "The system cannot find the file specified.\n        0 file(s) copied.\n");

    // Copying a file onto itself must not destroy it.
    r = runTool(tmp.path(), "cmd /c copy rt/devices.txt rt /y");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.output, "cannot be copied onto itself"));
    EXPECT_EQ(readFile(tmp.file("rt/devices.txt")), "devices");

    r = runTool(tmp.path(), "cmd /c copy rt/devices.txt /y");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.output, "The syntax of the command is incorrect.\n");
}

TEST(Cmd, DelAndUnknownCommands)
{
    TempDir tmp;
    writeFile(tmp.file("update.zip"), "zip");
    TestSupport::makeDirs(tmp.file("folder"));

    ToolResult r = runTool(tmp.path(), "cmd /c del /q " + tmp.file("update.zip"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.output, "");
    EXPECT_FALSE(exists(tmp.file("update.zip")));

    r = runTool(tmp.path(), "cmd /c del /q update.zip");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.output, "Could Not Find update.zip\n");

    r = runTool(tmp.path(), "cmd /c del /q folder");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(exists(tmp.file("folder")));

    r = runTool(tmp.path(), "cmd /c format c:");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.output, "'format' is not recognized"));
    EXPECT_EQ(runTool(tmp.path(), "cmd mkdir x").code, 1);
    EXPECT_FALSE(exists(tmp.file("x")));

    const ToolResult help = runTool(tmp.path(), "cmd --help");
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(contains(help.output, "stand-in"));
}
