// Where varbuild-cli import writes, and what it refuses to overwrite.

#include "core/ProjectManager.h"
#include "support/TestSupport.h"
#include "util/PathUtil.h"

#include <cstdlib>
#include <gtest/gtest.h>

using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

const char* const Vcproj =
    "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
    "<VisualStudioProject Version=\"8,00\" Name=\"racer\">\r\n"
    "\t<Configurations><Configuration Name=\"Release|Win32\">\r\n"
    "\t\t<Tool Name=\"VCCLCompilerTool\" AdditionalIncludeDirectories=\"..\\include;$(VARNELDIR)\\include;/opt/inc\"/>\r\n"
    "\t</Configuration></Configurations>\r\n"
    "\t<Files>\r\n"
    "\t\t<Filter Name=\"Source Files\">\r\n"
    "\t\t\t<File RelativePath=\"..\\src\\main.c\"></File>\r\n"
    "\t\t\t<File RelativePath=\"game.c\"></File>\r\n"
    "\t\t\t<File RelativePath=\".\\sub\\menu.c\"></File>\r\n"
    "\t\t</Filter>\r\n"
    "\t</Files>\r\n"
    "</VisualStudioProject>\r\n";

// The build's view of the project: every C source as it would be compiled.
std::vector<std::string> sourcesAsBuilt(const std::string& root, const std::string& project)
{
    TestSupport::CapturedDiagnostics quiet;
    Brask::ProjectManager manager(root, nullptr);
    if (!manager.loadProject(project))
        return {};
    KVUtil::Vector<KVUtil::String> files;
    manager.collectFiles(Brask::SourceFile, files);
    std::vector<std::string> out;
    for (const auto& f : files)
        out.push_back(Brask::toSlashes(f));
    return out;
}

} // namespace

TEST(ImportOutputTest, SourcePathsAreRelativeToTheOutputsDirectory)
{
    struct Case {
        const char* output;  // as given on the command line; "" for the default
        const char* written; // where the project lands, relative to the work directory
        const char* mainPath;
    };
    const Case cases[] = {
        {"", "vc/racer.vnp", "..\\src\\main.c"},
        {"vc/other.vnp", "vc/other.vnp", "..\\src\\main.c"},
        {"out/deep/p.vnp", "out/deep/p.vnp", "..\\..\\src\\main.c"},
        {"p.vnp", "p.vnp", "src\\main.c"},
        {"src/p.vnp", "src/p.vnp", "main.c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        TempDir kit;
        TempDir work;
        TestSupport::makeMinimalInstallation(kit.path());
        writeFile(work.file("vc/racer.vcproj"), Vcproj);
        for (const char* source : {"src/main.c", "vc/game.c", "vc/sub/menu.c"})
            writeFile(work.file(source), "int x;\n");
        TestSupport::makeDirs(work.file("out/deep"));
        std::vector<std::string> args{"import", "vc/racer.vcproj"};
        if (*c.output)
            args.push_back(c.output);
        const TestSupport::ProgramRun r = TestSupport::runCli(work.path(), kit.path(), args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string text = readFile(work.file(c.written));
        EXPECT_NE(text.find(std::string("<File path=\"") + c.mainPath + "\"/>"), std::string::npos) << text;
        // Macros and absolute directories stay as they were.
        EXPECT_NE(text.find(";$(VARNELDIR)\\include;/opt/inc\"/>"), std::string::npos) << text;
        // Every source is found where the build looks for it.
        const std::vector<std::string> sources = sourcesAsBuilt(kit.path(), work.file(c.written));
        ASSERT_EQ(sources.size(), 3u);
        for (const std::string& source : sources)
            EXPECT_TRUE(Brask::fileExists(source)) << source;
    }
}

TEST(ImportOutputTest, ExistingOutputIsReplacedOnlyWithForce)
{
    struct Case {
        std::vector<std::string> args;
        const char* output;
        bool replaced;
    };
    const Case cases[] = {
        {{"import", "racer.vcproj"}, "racer.vnp", false},
        {{"import", "racer.vcproj", "mine.vnp"}, "mine.vnp", false},
        {{"import", "racer.vcproj", "mine.vnp", "--force"}, "mine.vnp", true},
        {{"import", "--force", "racer.vcproj"}, "racer.vnp", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output + std::string(c.replaced ? " forced" : ""));
        TempDir kit;
        TempDir work;
        TestSupport::makeMinimalInstallation(kit.path());
        writeFile(work.file("racer.vcproj"), Vcproj);
        writeFile(work.file(c.output), "my own work");
        const TestSupport::ProgramRun r = TestSupport::runCli(work.path(), kit.path(), c.args);
        if (c.replaced) {
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_NE(readFile(work.file(c.output)).find("<Project name=\"racer\">"), std::string::npos);
        } else {
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_NE(r.err.find(std::string(c.output) + " already exists; use --force to replace it\n"),
                      std::string::npos)
                << r.err;
            EXPECT_EQ(readFile(work.file(c.output)), "my own work");
        }
    }
}

TEST(ImportOutputTest, FullDiskErrorHasOnePrefix)
{
    TempDir kit;
    TempDir work;
    TestSupport::makeMinimalInstallation(kit.path());
    const std::string disk = work.file("disk");
    TestSupport::makeDirs(disk);
    if (std::system(("mount -t tmpfs -o size=16k tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    // A project larger than the file system.
    std::string vcproj = "<VisualStudioProject Version=\"8,00\" Name=\"big\"><Files>";
    for (int i = 0; i < 2000; ++i)
        vcproj += "<File RelativePath=\"src\\file" + std::to_string(i) + ".c\"/>";
    vcproj += "</Files></VisualStudioProject>";
    writeFile(work.file("big.vcproj"), vcproj);
    const TestSupport::ProgramRun r = TestSupport::runCli(work.path(), kit.path(), {"import", "big.vcproj", "disk/big.vnp"});
    if (std::system(("umount '" + disk + "'").c_str()) != 0)
        ADD_FAILURE() << "umount";
    EXPECT_EQ(r.status, 1);
    const std::string line = "varbuild-cli: cannot write disk/big.vnp: No space left on device\n";
    ASSERT_GE(r.err.size(), line.size()) << r.err;
    EXPECT_EQ(r.err.substr(r.err.size() - line.size()), line) << r.err;
}
