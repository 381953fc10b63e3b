#include "ToolRun.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace ToolTest;
using TestSupport::TempDir;
using TestSupport::readFile;

namespace {

const std::string kKitData = std::string(VARBUILD_SOURCE_DIR) + "/kit/data";

// The values of every `attribute="..."` in `text`.
std::vector<std::string> attributeValues(const std::string& text, const std::string& attribute)
{
    std::vector<std::string> out;
    const std::string key = attribute + "=\"";
    for (size_t pos = text.find(key); pos != std::string::npos; pos = text.find(key, pos)) {
        pos += key.size();
        out.push_back(text.substr(pos, text.find('"', pos) - pos));
    }
    return out;
}

} // namespace

// The demo project builds with the stand-ins exactly as a build would run them.
TEST(DemoKit, DemoProjectBuildsWithTheStandIns)
{
    TempDir tmp;
    std::filesystem::copy(kKitData + "/projects/demo", tmp.file("demo"), std::filesystem::copy_options::recursive);
    const std::string dir = tmp.file("demo");
    const std::string out = dir + "/Output";

    ToolResult r = runTool(dir, "cmd /c mkdir " + out);
    ASSERT_EQ(r.code, 0) << r.output;
    r = runTool(dir, "lintel  -R " + out + "/resources  " + dir + "/res/resources.lst");
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_TRUE(contains(readFile(out + "/resources"), "count 2\n"));

    std::string link = "lintel   -s" + std::string(VARBUILD_KIT_DIR) + "/lib/pipe -elim -B " + out + "/program ";
    for (const char* source : {"src/main.c", "src/game/world.cpp", "src/util/fixed.c"}) {
        const std::string stem = std::filesystem::path(source).stem().string();
        const std::string asmFile = out + "/" + stem + ".s ";
        r = runTool(dir, "xgcc -g -o " + asmFile + "-S -O2 -Wno-unused-parameter -Werror -Wall -Wextra -Wwrite-strings -I"
                             + kKitData + "/include -DKVPIP  " + dir + "/" + source);
        EXPECT_EQ(r.code, 0) << source << "\n" << r.output;
        EXPECT_EQ(r.output, "") << "the demo compiles without warnings";
        link += asmFile + " ";
    }
    r = runTool(dir, link + "KVStd.lib ");
    ASSERT_EQ(r.code, 0) << r.output;
    r = runTool(dir, "lintel -no-verify  -B " + out + "/program " + dir + "/rebuild.s");
    ASSERT_EQ(r.code, 0) << r.output;
    const std::string program = readFile(out + "/program");
    for (const char* symbol : {"function main\n", "function worldStep\n", "function kvClamp\n"})
        EXPECT_TRUE(contains(program, symbol)) << symbol << program;
    EXPECT_FALSE(contains(program, "function fixMul\n")) << "nothing calls it";
}

TEST(DemoKit, ProjectFilesNameExistingFiles)
{
    const std::string demo = kKitData + "/projects/demo";
    const std::vector<std::string> paths = attributeValues(readFile(demo + "/demo.vnp"), "path");
    EXPECT_EQ(paths.size(), 6u);
    for (const std::string& p : paths)
        EXPECT_TRUE(TestSupport::exists(demo + "/" + p)) << p;

    const std::string vcproj = readFile(demo + "/vc/demo.vcproj");
    EXPECT_NE(vcproj.find('\xE9'), std::string::npos) << "one Windows-1252 byte";
    const std::vector<std::string> relative = attributeValues(vcproj, "RelativePath");
    EXPECT_EQ(relative.size(), 6u);
    for (std::string p : relative) {
        EXPECT_EQ(p.rfind("..\\", 0), 0u) << p;
        for (char& c : p)
            if (c == '\\')
                c = '/';
        EXPECT_TRUE(TestSupport::exists(demo + "/vc/" + p)) << p;
    }
}
