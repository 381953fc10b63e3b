// Symbian packaging: UID checks, template filling, the moves and the tools.

#include "BuildFixture.h"

#include "core/builder/packaging/SymbianPackager.h"
#include "util/PathUtil.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

using BuildTest::BuildFixture;
using BuildTest::ProcessExecutor;
using BuildTest::RecordingExecutor;
using TestSupport::EnvGuard;
using Brask::SymbianPackager;
using TestSupport::exists;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

class Symbian : public BuildFixture {
public:
    std::string so() const { return m_projectDir + "so/"; }
    std::string templates() const { return m_root + "/profiles/runtimes/S60v3/LauncherTemplate/"; }

protected:
    std::unique_ptr<Brask::ProjectManager> symbianProject(Brask::CommandExecutor* executor, const std::string& uid)
    {
        auto manager = makeManager(executor);
        manager->getProject()->setProperty("S60v3UID", uid);
        return manager;
    }
};

TEST(SymbianTemplate, FillsOnlyWhatWasPassed)
{
    struct Case {
        const char* text;
        std::vector<std::string> values;
        const char* expected;
    };
    const Case cases[] = {
        {"%s and %s", {"A", "B"}, "A and B"},
        {"no conversions", {}, "no conversions"},
        {"100%% of %s", {"X"}, "100% of X"},
        {"%%s stays", {"X"}, "%s stays"},
        {"%s%s", {"%s", "%d"}, "%s%d"},  // values are never read as templates
        {"stray %d then %s", {"X"}, "stray %d then X"},
        {"%x%n%p", {"X"}, "%x%n%p"},
        {"width %-8s", {"X"}, "width %-8s"},
        {"%s %s %s", {"A", "B"}, "A B %s"},
        {"ends with %", {}, "ends with %"},
        {"%s", {"A", "B"}, "A"},
        {"", {"A"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.expected, SymbianPackager::fillTemplate(c.text, c.values));
    }
}

TEST(SymbianUid, AcceptsOnlyZeroXAndEightHexDigits)
{
    struct Case {
        const char* uid;
        bool valid;
    };
    const Case cases[] = {
        {"0x12345678", true}, {"0xABCDEFab", true}, {"0x0000000f", true}, {"0X12345678", false},
        {"12345678", false},  {"0x1234567", false}, {"0x123456789", false}, {"0x1234567G", false},
        {"0x1234567g", false}, {"", false},         {"0x 1234567", false}, {"1x12345678", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.valid, SymbianPackager::isValidUid(c.uid)) << c.uid;
}

TEST_F(Symbian, BadUidIsRefusedBeforeAnythingIsWritten)
{
    for (const char* uid : {"0X12345678", "0x1234567", "0x12345678 ", "0xGHIJKLMN"}) {
        SCOPED_TRACE(uid);
        RecordingExecutor executor;
        auto manager = symbianProject(&executor, uid);
        EXPECT_EQ(-1, manager->build());
        const std::vector<std::string> expected = {std::string("Bad UID: \"") + uid + "\"\n"};
        EXPECT_EQ(expected, executor.messages);
        EXPECT_EQ("cmd /c mkdir " + m_output, executor.ran.front());
        EXPECT_EQ(std::string::npos, executor.ran.back().find("bldmake"));
        EXPECT_FALSE(exists(so()));
    }
}

TEST_F(Symbian, FillsTemplatesRunsToolsAndNamesThePackage)
{
    m_kit.writeTemplates();
    ProcessExecutor executor;
    auto manager = symbianProject(&executor, "0xA0b1C2d3");
    addFile(*manager, "main.c");
    ASSERT_EQ(0, manager->build()) << executor.transcript;

    const std::string hex = "A0b1C2d3";
    const std::string uid = "0x" + hex;
    const std::string program = m_projectDir + "Output/program";
    EXPECT_EQ("name=game hex=" + hex + "\n", readFile(so() + "LauncherApp.cpp"));
    EXPECT_EQ("PRJ_MMPFILES\nLauncherApp.mmp\n", readFile(so() + "Bld.inf"));
    EXPECT_EQ(hex + "|" + uid + "|" + hex + "|" + hex + "\n", readFile(so() + "LauncherApp.mmp"));
    std::string pkg = "game|" + uid + "|" + hex + "|" + hex + "|" + program;
    for (int i = 0; i < 10; ++i)
        pkg += "|" + hex;
    EXPECT_EQ(pkg + "\n", readFile(so() + "LauncherApp.pkg"));
    EXPECT_EQ("caption game, game\n", readFile(so() + hex + ".rss"));
    EXPECT_EQ(hex + ";" + uid + ";" + hex + ";" + hex + "\n", readFile(so() + hex + "_reg.rss"));
    EXPECT_FALSE(exists(so() + "xxxxxxxx.rss"));
    EXPECT_FALSE(exists(so() + "xxxxxxxx_reg.rss"));
    EXPECT_EQ("package 1\n" + pkg + "\n", readFile(so() + "game.sis"));
    EXPECT_FALSE(exists(so() + "LauncherApp.sis"));

    const std::string log = m_kit.logText();
    EXPECT_NE(std::string::npos,
              log.find("bldmake [bldfiles]\nabld [build] [gcce] [urel]\nCreateSIS [create] [-cert] [my.cert] [-key] "
                       "[my.key] [-pass] [Zeqa] [LauncherApp.pkg]\n"))
        << log;
    EXPECT_EQ(so().substr(0, so().size() - 1), Brask::currentDirectory());
    EXPECT_NE(std::string::npos, executor.transcript.find("Build complete, time: "));
}

TEST_F(Symbian, SecondBuildReplacesTheFirstOnesFiles)
{
    m_kit.writeTemplates();
    ProcessExecutor executor;
    auto manager = symbianProject(&executor, "0x12345678");
    ASSERT_EQ(0, manager->build()) << executor.transcript;
    manager->getProject()->setName("second");
    ASSERT_EQ(0, manager->build()) << executor.transcript;
    EXPECT_EQ("caption second, second\n", readFile(so() + "12345678.rss"));
    EXPECT_EQ(0u, readFile(so() + "second.sis").rfind("package 2\nsecond|", 0));
    EXPECT_EQ(0u, readFile(so() + "game.sis").rfind("package 1\n", 0)) << "the first package keeps its own name";

    // And a third build under the first name replaces the earlier game.sis.
    manager->getProject()->setName("game");
    ASSERT_EQ(0, manager->build()) << executor.transcript;
    EXPECT_EQ(0u, readFile(so() + "game.sis").rfind("package 3\n", 0));
}

TEST_F(Symbian, PercentSignsInTemplates)
{
    m_kit.writeTemplates();
    writeFile(templates() + "LauncherApp.cpp", "_LIT(KFormat, \"%%S\"); // %s at 100%%, %d stray, %s %s %s\n");
    RecordingExecutor executor;
    executor.sideEffect = [](const std::string& command) {
        if (command.find("CreateSIS") != std::string::npos)
            writeFile("LauncherApp.sis", "");
    };
    auto manager = symbianProject(&executor, "0x0000000a");
    ASSERT_EQ(0, manager->build());
    EXPECT_EQ("_LIT(KFormat, \"%S\"); // game at 100%, %d stray, 0000000a %s %s\n", readFile(so() + "LauncherApp.cpp"));
}

TEST_F(Symbian, TemplateAndTargetFailures)
{
    struct Case {
        const char* name;
        std::function<void(const Symbian&)> breakIt;
        std::function<std::string(const Symbian&)> message;
    };
    const Case cases[] = {
        {"missing template",
         [](const Symbian& t) { std::remove((t.templates() + "LauncherApp.mmp").c_str()); },
         [](const Symbian& t) { return "Can't read \"" + t.templates() + "LauncherApp.mmp\"\n"; }},
        {"template is a directory",
         [](const Symbian& t) {
             std::remove((t.templates() + "xxxxxxxx_reg.rss").c_str());
             TestSupport::makeDirs(t.templates() + "xxxxxxxx_reg.rss");
         },
         [](const Symbian& t) { return "Can't read \"" + t.templates() + "xxxxxxxx_reg.rss\"\n"; }},
        {"so is a file", [](const Symbian& t) { writeFile(t.so().substr(0, t.so().size() - 1), "x"); },
         [](const Symbian&) { return std::string("Can't write \"so/LauncherApp.cpp\"\n"); }},
        {"target is a directory", [](const Symbian& t) { TestSupport::makeDirs(t.so() + "LauncherApp.pkg"); },
         [](const Symbian&) { return std::string("Can't write \"so/LauncherApp.pkg\"\n"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::error_code ec;
        std::filesystem::remove_all(so().substr(0, so().size() - 1), ec);
        m_kit.writeTemplates();
        c.breakIt(*this);
        RecordingExecutor executor;
        // Outside the protected and test ranges, so the failure is the only line.
        auto manager = symbianProject(&executor, "0xA2345678");
        EXPECT_EQ(-1, manager->build());
        const std::vector<std::string> expected = {c.message(*this)};
        EXPECT_EQ(expected, executor.messages);
        EXPECT_EQ(std::string::npos, executor.ran.back().find("bldmake")) << "no tool after a template failure";
        std::filesystem::remove_all(templates(), ec);
    }
}

TEST_F(Symbian, FailingToolEndsThePackagingWithItsCode)
{
    struct Case {
        const char* variable;
        const char* code;
        const char* lastTool;
    };
    const Case cases[] = {
        {"FAKE_FAIL_BLDMAKE", "5", "bldmake"},
        {"FAKE_FAIL_ABLD", "6", "abld"},
        {"FAKE_FAIL_CREATESIS", "7", "CreateSIS"},
    };
    m_kit.writeTemplates();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variable);
        std::remove(m_kit.log().c_str());
        EnvGuard fail(c.variable, c.code);
        ProcessExecutor executor;
        auto manager = symbianProject(&executor, "0x12345678");
        EXPECT_EQ(std::stoi(c.code), manager->build());
        const std::string log = m_kit.logText();
        const std::string lastLine = log.substr(log.rfind('\n', log.size() - 2) + 1);
        EXPECT_EQ(0u, lastLine.rfind(c.lastTool, 0)) << log;
        EXPECT_FALSE(exists(so() + "game.sis"));
        EXPECT_EQ(std::string::npos, executor.transcript.find("Build complete"));
    }
}

TEST_F(Symbian, WithoutExecutorToolStepsFail)
{
    m_kit.writeTemplates();
    auto manager = symbianProject(nullptr, "0x12345678");
    // Called on its own, the packaging works in the current directory.
    ASSERT_EQ(0, ::chdir(m_projectDir.c_str()));
    EXPECT_EQ(-1, manager->packageSymbian());
    EXPECT_TRUE(exists(so() + "12345678_reg.rss")) << "templates are filled before the first tool";
}

// The launcher templates the kit ships take exactly the values passed to
// them, in order: every conversion is %s and their count matches.
TEST(SymbianShippedTemplates, ConversionsMatchTheValues)
{
    const std::string dir = VARBUILD_SOURCE_DIR "/kit/data/profiles/runtimes/S60v3/LauncherTemplate/";
    const std::pair<const char*, size_t> templates[] = {
        {"LauncherApp.cpp", 2}, {"Bld.inf", 0},       {"LauncherApp.mmp", 4},
        {"LauncherApp.pkg", 15}, {"xxxxxxxx.rss", 2}, {"xxxxxxxx_reg.rss", 4},
    };
    for (const auto& [name, count] : templates) {
        SCOPED_TRACE(name);
        const std::string text = readFile(dir + name);
        ASSERT_FALSE(text.empty());
        size_t strings = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '%')
                continue;
            ASSERT_LT(i + 1, text.size());
            const char next = text[++i];
            EXPECT_TRUE(next == 's' || next == '%') << "conversion %" << next << " at offset " << i;
            strings += next == 's';
        }
        EXPECT_EQ(count, strings);
        const std::vector<std::string> values(count, "V");
        EXPECT_EQ(std::string::npos, SymbianPackager::fillTemplate(text, values).find("%s"));
    }
}

} // namespace

// A build whose Symbian step fails keeps the previous build's package as it
// was and leaves no LauncherApp.sis, and a CreateSIS that exits 0 without a
// package is a failure the pane explains.
TEST_F(Symbian, FailedPackagingKeepsThePreviousPackage)
{
    struct Case {
        const char* variable;
        const char* value;
        int result;
        const char* message;  // in the transcript, "" for none
    };
    const Case cases[] = {
        {"FAKE_FAIL_BLDMAKE", "5", 5, ""},
        {"FAKE_FAIL_CREATESIS", "7", 7, ""},
        {"FAKE_NO_SIS", "1", -1, "CreateSIS made no package: \"LauncherApp.sis\" is missing in \""},
    };
    m_kit.writeTemplates();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.variable);
        ProcessExecutor first;
        auto manager = symbianProject(&first, "0x12345678");
        ASSERT_EQ(0, manager->build()) << first.transcript;
        const std::string previous = readFile(so() + "game.sis");
        ASSERT_FALSE(previous.empty());
        writeFile(so() + "LauncherApp.sis", "stale package of a failed move\n");

        EnvGuard fail(c.variable, c.value);
        ProcessExecutor executor;
        auto again = symbianProject(&executor, "0x12345678");
        EXPECT_EQ(c.result, again->build());
        EXPECT_EQ(previous, readFile(so() + "game.sis")) << executor.transcript;
        EXPECT_FALSE(exists(so() + "LauncherApp.sis"));
        if (*c.message) {
            const std::string dir = so().substr(0, so().size() - 1);
            EXPECT_NE(std::string::npos, executor.transcript.find(c.message + dir + "\"\n")) << executor.transcript;
        }
        EXPECT_EQ(std::string::npos, executor.transcript.find("Build complete"));
    }
}
