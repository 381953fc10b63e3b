#include "support/TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

using RunOutput = TestSupport::ProgramRun;

RunOutput runCli(const std::string& root, const std::string& args, const TempDir& tmp)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : args + " ") {
        if (c != ' ') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return TestSupport::runCli(tmp.path(), root, words);
}

// A Visual C++ 2005 project as the IDE writes it: CR LF, Windows-1252 text,
// nested filters and two configurations.
const char* const GameVcproj =
    "<?xml version=\"1.0\" encoding=\"Windows-1252\"?>\r\n"
    "<VisualStudioProject\r\n"
    "\tProjectType=\"Visual C++\"\r\n"
    "\tVersion=\"8,00\"\r\n"
    "\tName=\"racer\"\r\n"
    "\tProjectGUID=\"{5A0C1F2B-3D4E-4F50-8A9B-0C1D2E3F4A5B}\"\r\n"
    "\tKeyword=\"Win32Proj\"\r\n"
    "\t>\r\n"
    "\t<Platforms>\r\n\t\t<Platform Name=\"Win32\"/>\r\n\t</Platforms>\r\n"
    "\t<Configurations>\r\n"
    "\t\t<Configuration Name=\"Debug|Win32\" OutputDirectory=\"$(SolutionDir)$(ConfigurationName)\">\r\n"
    "\t\t\t<Tool Name=\"VCCLCompilerTool\" Optimization=\"0\" AdditionalIncludeDirectories=\"..\\include;$(VARNELDIR)\\include\"/>\r\n"
    "\t\t\t<Tool Name=\"VCLinkerTool\" AdditionalDependencies=\"KVLib.lib dbg.lib\" AdditionalLibraryDirectories=\"..\\lib\\debug\"/>\r\n"
    "\t\t</Configuration>\r\n"
    "\t\t<Configuration Name=\"Release|Win32\">\r\n"
    "\t\t\t<Tool Name=\"VCCLCompilerTool\" AdditionalIncludeDirectories=\"..\\include\"/>\r\n"
    "\t\t\t<Tool Name=\"VCLinkerTool\" AdditionalDependencies=\"KVLib.lib sound.lib\" AdditionalLibraryDirectories=\"..\\lib\"/>\r\n"
    "\t\t</Configuration>\r\n"
    "\t</Configurations>\r\n"
    "\t<Files>\r\n"
    "\t\t<Filter Name=\"Source Files\" Filter=\"cpp;c\">\r\n"
    "\t\t\t<File RelativePath=\"..\\src\\main.c\"></File>\r\n"
    "\t\t\t<Filter Name=\"Caf\xe9\">\r\n"
    "\t\t\t\t<File RelativePath=\"..\\src\\caf\xe9\\menu.cpp\"></File>\r\n"
    "\t\t\t</Filter>\r\n"
    "\t\t</Filter>\r\n"
    "\t\t<Filter Name=\"Header Files\">\r\n"
    "\t\t</Filter>\r\n"
    "\t\t<File RelativePath=\".\\ReadMe.txt\"></File>\r\n"
    "\t</Files>\r\n"
    "\t<Globals>\r\n\t</Globals>\r\n"
    "</VisualStudioProject>\r\n";

const char* const ExpectedVnp =
    "<Project name=\"racer\">\n"
    "\t<Configuration>\n"
    "\t\t<Property name=\"configType\" value=\"app\"/>\n"
    "\t\t<Property name=\"screenWidth\" value=\"240\"/>\n"
    "\t\t<Property name=\"screenHeight\" value=\"320\"/>\n"
    "\t\t<Property name=\"deadCodeElim\" value=\"false\"/>\n"
    "\t\t<Property name=\"ignoreDefaultIncludeDirectories\" value=\"false\"/>\n"
    "\t\t<Property name=\"ignoreDefaultLibraryDirectories\" value=\"false\"/>\n"
    "\t\t<Property name=\"ignoreDefaultLibraries\" value=\"false\"/>\n"
    "\t\t<Property name=\"additionalIncludeDirectories\" value=\"..\\include\"/>\n"
    "\t\t<Property name=\"additionalDependencies\" value=\"KVLib.lib sound.lib\"/>\n"
    "\t\t<Property name=\"additionalLibraryDirectories\" value=\"..\\lib\"/>\n"
    "\t</Configuration>\n"
    "\t<Criteria>\n"
    "\t</Criteria>\n"
    "\t<Folder name=\"Source Files\">\n"
    "\t\t<File path=\"..\\src\\main.c\"/>\n"
    "\t\t<Folder name=\"Caf\xc3\xa9\">\n"
    "\t\t\t<File path=\"..\\src\\caf\xc3\xa9\\menu.cpp\"/>\n"
    "\t\t</Folder>\n"
    "\t</Folder>\n"
    "\t<Folder name=\"Header Files\">\n"
    "\t</Folder>\n"
    "\t<File path=\".\\ReadMe.txt\"/>\n"
    "</Project>\n";

class ImportCommandTest : public testing::Test {
protected:
    void SetUp() override { TestSupport::makeMinimalInstallation(m_kit.path()); }
    TempDir m_kit;
    TempDir m_work;
};

} // namespace

TEST_F(ImportCommandTest, WritesTheProjectBesideTheVcprojByDefault)
{
    writeFile(m_work.file("vc/racer.vcproj"), GameVcproj);
    RunOutput r = runCli(m_kit.path(), "import vc/racer.vcproj", m_work);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(m_work.file("vc/racer.vnp")), ExpectedVnp);
    EXPECT_EQ(r.out, m_work.file("vc/racer.vnp") + "\n");
    EXPECT_NE(r.err.find("varbuild-cli: read vc/racer.vcproj: Visual C++ 2005 project (.vcproj, Version 8,00)\n"),
              std::string::npos)
        << r.err;
    // Diagnostics went to standard error, not into the result.
    EXPECT_NE(r.err.find("ConfigParser::ConfigParser"), std::string::npos);
}

TEST_F(ImportCommandTest, WritesToAnExplicitOutput)
{
    writeFile(m_work.file("racer.vcproj"), GameVcproj);
    RunOutput r = runCli(m_kit.path(), "import racer.vcproj out/game.vnp", m_work);
    // The output directory does not exist: nothing is written, status 1.
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos);
    TestSupport::makeDirs(m_work.file("out"));
    r = runCli(m_kit.path(), "import racer.vcproj out/game.vnp", m_work);
    ASSERT_EQ(r.status, 0) << r.err;
    // Saved one level further down: every relative path is rebased.
    std::string expected = ExpectedVnp;
    const std::pair<std::string, std::string> moved[] = {
        {"value=\"..\\include\"", "value=\"..\\..\\include\""},
        {"value=\"..\\lib\"", "value=\"..\\..\\lib\""},
        {"path=\"..\\src\\main.c\"", "path=\"..\\..\\src\\main.c\""},
        {"path=\"..\\src\\caf", "path=\"..\\..\\src\\caf"},
        {"path=\".\\ReadMe.txt\"", "path=\"..\\ReadMe.txt\""},
    };
    for (const auto& [from, to] : moved) {
        ASSERT_NE(expected.find(from), std::string::npos) << from;
        expected.replace(expected.find(from), from.size(), to);
    }
    EXPECT_EQ(readFile(m_work.file("out/game.vnp")), expected);
}

TEST_F(ImportCommandTest, RefusesWhatIsNotAVisualCppProject)
{
    writeFile(m_work.file("old.vcproj"), "<VisualStudioProject Version=\"7.00\" Name=\"old\"/>");
    writeFile(m_work.file("junk.vcproj"), "\x01\x02 not xml");
    writeFile(m_work.file("all.sln"), "\r\nMicrosoft Visual Studio Solution File, Format Version 11.00\r\n");
    const std::string reads = "the import reads Visual C++ .vcproj files of Versions 7.10, 8.00 and 9.00 and MSBuild "
                              ".vcxproj files\n";
    const std::pair<const char*, std::string> cases[] = {
        {"import old.vcproj", "old.vcproj is a Visual C++ project of Version \"7.00\", which is not read; " + reads},
        {"import junk.vcproj", "junk.vcproj is not a Visual Studio project; " + reads},
        {"import all.sln", "all.sln is a Visual Studio solution, which only lists projects: import one of its .vcxproj "
                           "or .vcproj files; " + reads},
        {"import missing.vcproj", "cannot read missing.vcproj\n"},
        {"import", "usage: varbuild-cli import FILE.vcxproj|FILE.vcproj [OUT.vnp] [--force]\n"},
        {"import .", "cannot read .\n"},
    };
    for (const auto& [args, line] : cases) {
        RunOutput r = runCli(m_kit.path(), args, m_work);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_EQ(r.out, "") << args;
        // The error is the last line, on a line of its own.
        const size_t last = r.err.rfind('\n', r.err.size() - 2);
        EXPECT_EQ(r.err.substr(last == std::string::npos ? 0 : last + 1), "varbuild-cli: " + line) << args;
    }
    EXPECT_FALSE(TestSupport::exists(m_work.file("old.vnp")));
}

TEST_F(ImportCommandTest, ProjectNameCannotLeadOutOfTheDirectory)
{
    std::string text = GameVcproj;
    text.replace(text.find("Name=\"racer\""), 12, "Name=\"../escape\"");
    writeFile(m_work.file("vc/racer.vcproj"), text);
    RunOutput r = runCli(m_kit.path(), "import vc/racer.vcproj", m_work);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(TestSupport::exists(m_work.file("vc/racer.vnp")));
    EXPECT_FALSE(TestSupport::exists(m_work.file("escape.vnp")));
}

TEST_F(ImportCommandTest, MissingRootIsRefused)
{
    writeFile(m_work.file("racer.vcproj"), GameVcproj);
    RunOutput r = runCli("", "import racer.vcproj", m_work);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error: The VARNELDIR has not been set. Please reinstall Varnel.\n");
}

TEST_F(ImportCommandTest, HelpListsTheCommands)
{
    RunOutput r = runCli(m_kit.path(), "--help", m_work);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("import FILE.vcxproj|FILE.vcproj [OUT.vnp]"), std::string::npos);
}

// A root holding ";" or '"' is refused by every command before it reads
// anything, with the text that names the problem.
TEST_F(ImportCommandTest, RootTheKitCannotCarryIsRefused)
{
    writeFile(m_work.file("racer.vcproj"), GameVcproj);
    for (const char* bad : {"a;b", "q\"uote"}) {
        SCOPED_TRACE(bad);
        const std::string root = m_work.file(bad);
        for (const char* args : {"import racer.vcproj", "build racer.vnp", "targets racer.vnp"}) {
            RunOutput r = runCli(root, args, m_work);
            EXPECT_EQ(r.status, 1) << args;
            EXPECT_EQ(r.err, "Error: The VARNELDIR \"" + root
                                 + "\" holds a character that the kit's paths cannot carry (a \";\", a \"\"\" or a "
                                   "control character). Please install Varnel in a directory whose path has none of "
                                   "them.\n")
                << args;
        }
    }
    EXPECT_FALSE(TestSupport::exists(m_work.file("racer.vnp")));
}

// A real library as its Visual Studio files come (tests/data/zlib): zlib's
// sources with a Visual C++ 2008 project and an MSBuild project with its
// filters. Both give the same project, and it builds into a library with the
// kit's tools as it is.
TEST(ImportZlib, BothFormatsGiveOneProjectThatBuilds)
{
    const std::string kit = VARBUILD_KIT_DIR;
    TempDir work;
    std::filesystem::copy(std::string(VARBUILD_SOURCE_DIR) + "/tests/data/zlib", work.file("zlib"),
                          std::filesystem::copy_options::recursive);
    const std::string vs = work.file("zlib/contrib/vstudio/");
    const std::pair<std::string, std::string> formats[] = {
        {"vc9/zlibstat.vcproj", "Visual C++ 2008 project (.vcproj, Version 9,00)"},
        {"vc10/zlibstat.vcxproj", "MSBuild Visual C++ project (.vcxproj), folders from zlibstat.vcxproj.filters"},
    };
    std::string projects[2];
    for (int i = 0; i < 2; ++i) {
        const auto& [file, format] = formats[i];
        RunOutput r = TestSupport::runCli(work.path(), kit, {"import", vs + file});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("varbuild-cli: read " + vs + file + ": " + format + "\n"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("varbuild-cli: note: " + vs + file + ": 8 of 10 files lie outside the project's directory "
                             "(the first is ..\\..\\..\\adler32.c)"),
                  std::string::npos)
            << r.err;
        const std::string vnp = vs + file.substr(0, file.find('/')) + "/zlibstat.vnp";
        projects[i] = readFile(vnp);
        r = TestSupport::runCli(work.path(), kit, {"build", vnp});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const std::string library = readFile(vs + file.substr(0, file.find('/')) + "/zlibstat.lib");
        for (const char* member : {"adler32.s", "compress.s", "uncompr.s", "zutil.s"})
            EXPECT_NE(library.find(member), std::string::npos) << file << " " << member;
    }
    // The .vcproj writes the Windows files beside it as .\zlib.rc, the
    // .vcxproj as zlib.rc; otherwise the two formats agree.
    for (size_t at; (at = projects[0].find("\".\\")) != std::string::npos;)
        projects[0].erase(at + 1, 2);
    EXPECT_EQ(projects[0], projects[1]);
    for (const char* expected :
         {"<Property name=\"configType\" value=\"lib\"/>", "<Property name=\"outputPath\" value=\"zlibstat.lib\"/>",
          "<Property name=\"additionalIncludeDirectories\" value=\"..\\..\\..;..\\..\\masmx86\"/>",
          "\t<Folder name=\"Source Files\">\n\t\t<File path=\"..\\..\\..\\adler32.c\"/>\n",
          "\t\t<File path=\"zlibvc.def\"/>\n\t</Folder>\n\t<Folder name=\"Header Files\">\n",
          "\t<Folder name=\"Resource Files\">\n\t\t<File path=\"zlib.rc\"/>\n\t</Folder>\n</Project>\n"})
        EXPECT_NE(projects[1].find(expected), std::string::npos) << expected << "\n" << projects[1];
}
