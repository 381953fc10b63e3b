#include "core/project/VcprojParser.h"
#include "support/TestSupport.h"
#include "util/PathUtil.h"

#include <gtest/gtest.h>

using namespace Brask;
using TestSupport::CapturedDiagnostics;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

std::string vcproj(const std::string& version, const std::string& body, const std::string& name = "game")
{
    return "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
           "<VisualStudioProject ProjectType=\"Visual C++\" Version=\"" + version + "\" Name=\"" + name + "\">\r\n"
           + body + "</VisualStudioProject>\r\n";
}

const char* const TwoConfigurations =
    "<Configurations>\r\n"
    " <Configuration Name=\"Debug|Win32\">\r\n"
    "  <Tool Name=\"VCCLCompilerTool\" AdditionalIncludeDirectories=\"..\\inc;..\\debug\"/>\r\n"
    "  <Tool Name=\"VCLinkerTool\" AdditionalDependencies=\"dbg.lib\" AdditionalLibraryDirectories=\"..\\dlib\"/>\r\n"
    " </Configuration>\r\n"
    " <Configuration Name=\"Release|Win32\">\r\n"
    "  <Tool Name=\"VCCLCompilerTool\" AdditionalIncludeDirectories=\"..\\inc\"/>\r\n"
    "  <Tool Name=\"VCCLCompilerTool\"/>\r\n"
    "  <Tool Name=\"VCLinkerTool\" AdditionalDependencies=\"KVLib.lib net.lib\"/>\r\n"
    " </Configuration>\r\n"
    "</Configurations>\r\n"
    "<Files>\r\n"
    " <Filter Name=\"Source Files\">\r\n"
    "  <File RelativePath=\"..\\src\\main.c\"/>\r\n"
    "  <Filter Name=\"game\">\r\n"
    "   <File RelativePath=\"..\\src\\game\\world.cpp\">\r\n"
    "    <FileConfiguration Name=\"Debug|Win32\"><Tool Name=\"VCCLCompilerTool\"/></FileConfiguration>\r\n"
    "   </File>\r\n"
    "  </Filter>\r\n"
    " </Filter>\r\n"
    " <File RelativePath=\".\\readme.txt\"/>\r\n"
    "</Files>\r\n";

std::unique_ptr<Project> import(const TempDir& dir, const std::string& text)
{
    writeFile(dir.file("vc/game.vcproj"), text);
    CapturedDiagnostics diag;
    VcprojParser parser(dir.file("vc/game.vcproj"));
    return parser.takeProject();
}

} // namespace

TEST(VcprojParserTest, AcceptsOnlyVersionEight)
{
    TempDir tmp;
    for (const char* v : {"8,00", "8.00"})
        EXPECT_NE(import(tmp, vcproj(v, "")), nullptr) << v;
    for (const char* v : {"7.10", "9,00", "8", "8.0", ""})
        EXPECT_EQ(import(tmp, vcproj(v, "")), nullptr) << v;
}

TEST(VcprojParserTest, LastConfigurationWinsAndTreeFollowsFilters)
{
    TempDir tmp;
    auto p = import(tmp, vcproj("8,00", TwoConfigurations));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->getName(), "game");
    EXPECT_EQ(p->getDirectory(), tmp.file("vc/"));
    EXPECT_EQ(p->peekProperty("additionalIncludeDirectories"), "..\\inc");
    EXPECT_EQ(p->peekProperty("additionalDependencies"), "KVLib.lib net.lib");
    // The second linker tool has no directories attribute: it empties the value.
    EXPECT_EQ(p->peekProperty("additionalLibraryDirectories"), "");
    EXPECT_EQ(p->peekProperty("configType"), "app");

    const auto& top = p->getRoot()->getChildren();
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0]->getName(), "Source Files");
    ASSERT_EQ(top[0]->getChildren().size(), 2u);
    const auto* main = static_cast<const Sourcefile*>(top[0]->getChildren()[0].get());
    EXPECT_EQ(main->getPath(), "..\\src\\main.c");
    EXPECT_EQ(main->getName(), "main.c");
    const auto& game = top[0]->getChildren()[1];
    EXPECT_EQ(game->getName(), "game");
    ASSERT_EQ(game->getChildren().size(), 1u);
    EXPECT_EQ(static_cast<const Sourcefile*>(game->getChildren()[0].get())->getPath(), "..\\src\\game\\world.cpp");
    EXPECT_EQ(static_cast<const Sourcefile*>(top[1].get())->getPath(), ".\\readme.txt");
}

TEST(VcprojParserTest, LibrarianThenLinkerEndsAsApplication)
{
    TempDir tmp;
    auto lib = import(tmp,
                      vcproj("8,00", "<Configuration><Tool Name=\"VCLibrarianTool\"/></Configuration>", "util"));
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(lib->peekProperty("configType"), "lib");
    EXPECT_EQ(lib->peekProperty("outputPath"), "util.lib");

    auto app = import(tmp, vcproj("8,00",
                                  "<Configuration><Tool Name=\"VCLibrarianTool\"/></Configuration>"
                                  "<Configuration><Tool Name=\"VCLinkerTool\"/></Configuration>",
                                  "util"));
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->peekProperty("configType"), "app");
    EXPECT_EQ(app->peekProperty("outputPath"), "util.lib");
    EXPECT_EQ(app->peekProperty("additionalDependencies"), "");
}

TEST(VcprojParserTest, StoredPathsReachTheFileSystemWithSlashes)
{
    TempDir tmp;
    writeFile(tmp.file("src/main.c"), "int main(void){return 0;}\n");
    auto p = import(tmp, vcproj("8,00", "<Files><File RelativePath=\"..\\src\\main.c\"/></Files>"));
    ASSERT_NE(p, nullptr);
    const auto* f = static_cast<const Sourcefile*>(p->getRoot()->getChildren()[0].get());
    EXPECT_TRUE(fileExists(toSlashes(p->getDirectory() + f->getPath())));
}

TEST(VcprojParserTest, ElementsBeforeTheProjectAndWrongDocumentsGiveNothing)
{
    TempDir tmp;
    EXPECT_EQ(import(tmp, "<Other><Filter Name=\"x\"/></Other>"), nullptr);
    EXPECT_EQ(import(tmp, ""), nullptr);
    // After a refused version nothing later revives the import.
    EXPECT_EQ(import(tmp, "<Root><VisualStudioProject Version=\"7.10\"/>"
                          "<VisualStudioProject Version=\"8,00\" Name=\"x\"/></Root>"),
              nullptr);
}

TEST(VcprojParserTest, TruncatedFileKeepsWhatWasRead)
{
    TempDir tmp;
    std::string text = vcproj("8,00", TwoConfigurations);
    text.resize(text.find("<Filter Name=\"game\""));
    auto p = import(tmp, text);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(p->getRoot()->getChildren().size(), 1u);
    EXPECT_EQ(p->getRoot()->getChildren()[0]->getChildren().size(), 1u);
}
