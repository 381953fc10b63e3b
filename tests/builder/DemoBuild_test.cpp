// varbuild-cli building a copy of the demo project with the demo kit's real
// tools: link errors end the build with the linker's own lines, and
// dead-code elimination drops what nothing calls before the second pass.

#include "BuildFixture.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sys/wait.h>

using BuildTest::shellQuote;
using TestSupport::TempDir;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace fs = std::filesystem;

namespace {

const std::string Kit = VARBUILD_KIT_DIR;

using CliRun = TestSupport::ShellRun;
using TestSupport::runShell;

class DemoBuild : public ::testing::Test {
protected:
    // From the sources, so that outputs of earlier builds in the assembled
    // installation cannot stand in for this build's.
    void SetUp() override
    {
        fs::copy(std::string(VARBUILD_SOURCE_DIR) + "/kit/data/projects/" + m_source, m_tmp.file("demo"),
                 fs::copy_options::recursive);
    }

    // Adds a source file to the project's root folder.
    void addSource(const std::string& name, const std::string& content)
    {
        writeFile(m_tmp.file("demo/" + name), content);
        std::string text = readFile(project());
        text.insert(text.rfind("</Project>"), "\t<File path=\"" + name + "\"/>\n");
        writeFile(project(), text);
    }

    void setProperty(const std::string& key, const std::string& value)
    {
        std::string text = readFile(project());
        const std::string old = "<Property name=\"" + key + "\" value=\"";
        const size_t at = text.find(old);
        ASSERT_NE(at, std::string::npos) << key;
        text.replace(at + old.size(), text.find('"', at + old.size()) - at - old.size(), value);
        writeFile(project(), text);
    }

    std::string project() const { return m_tmp.file("demo/" + m_source + ".vnp"); }

    CliRun build(const std::string& environment = "")
    {
        const std::string command = environment + " VARNELDIR=" + shellQuote(Kit) + " "
            + shellQuote(Kit + "/bin/varbuild-cli") + " build " + shellQuote(project()) + " </dev/null 2>&1";
        return runShell(command);
    }

    TempDir m_tmp;
    std::string m_source = "demo";
};

// The demo project with a Symbian UID, built with the demo Symbian SDK.
class SymbianDemo : public DemoBuild {
protected:
    SymbianDemo() { m_source = "symbian"; }

    std::string sdkEnvironment() const
    {
        const char* path = std::getenv("PATH");
        return "EPOCROOT=" + shellQuote(Kit + "/symbian/") + " PATH=" + shellQuote(Kit + "/symbian/Epoc32/tools:" + (path ? path : "/usr/bin:/bin"));
    }
};

} // namespace

TEST_F(DemoBuild, DemoProjectBuilds)
{
    const CliRun run = build();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Build complete"), std::string::npos) << run.output;
    EXPECT_TRUE(TestSupport::exists(m_tmp.file("demo/Output/program")));

    // Every runtime's package carries what its manifest names.
    int jars = 0;
    for (const auto& entry : fs::recursive_directory_iterator(m_tmp.file("demo/Output"))) {
        if (entry.path().extension() != ".jar")
            continue;
        ++jars;
        const std::string jar = entry.path().string();
        SCOPED_TRACE(jar);
        const std::vector<std::string> entries = BuildTest::zipEntries(jar);
        for (const char* name : {"KVMidlet.class", "demo.png", "program", "resources", "META-INF/MANIFEST.MF"})
            EXPECT_NE(std::find(entries.begin(), entries.end(), name), entries.end()) << name;
        EXPECT_EQ(BuildTest::zipEntry(jar, "META-INF/MANIFEST.MF"), BuildTest::expectedManifest("demo"));
        const std::string cls = BuildTest::zipEntry(jar, "KVMidlet.class");
        ASSERT_GT(cls.size(), 10u);
        EXPECT_EQ(cls.substr(0, 4), "\xCA\xFE\xBA\xBE") << "a class file";
        EXPECT_NE(cls.find("javax/microedition/midlet/MIDlet"), std::string::npos) << "a MIDlet";
        if (TestSupport::exists("/usr/bin/javap")) {
            const std::string dir = m_tmp.file("classes");
            fs::create_directories(dir);
            writeFile(dir + "/KVMidlet.class", cls);
            FILE* pipe = ::popen(("/usr/bin/javap -cp " + shellQuote(dir) + " KVMidlet 2>&1").c_str(), "r");
            ASSERT_NE(pipe, nullptr);
            std::string text;
            char buffer[1024];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
                text.append(buffer, n);
            EXPECT_EQ(::pclose(pipe), 0) << text;
            EXPECT_NE(text.find("public class KVMidlet extends javax.microedition.midlet.MIDlet"), std::string::npos)
                << text;
            EXPECT_NE(text.find("protected void startApp()"), std::string::npos) << text;
        }
    }
    EXPECT_EQ(jars, 3) << "one package per demo runtime";
}

TEST_F(DemoBuild, LinkErrorsEndTheBuildWithTheLinkersLines)
{
    struct Case {
        const char* what;
        std::string file, content;  // an extra source ("" = none)
        std::string mainContent;    // replaces src/main.c when not empty
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        // At the source line, with the source as the compiler was given it.
        {"undefined", "extra.c", "int nosuch(void);\nint extra(void) { return nosuch() + 1; }\n", "",
         {"/demo/extra.c:2: error: undefined reference to `nosuch'\n"}},
        {"undefined data", "extra.c", "extern int missingTable[];\nint *extra(void) { return missingTable; }\n", "",
         {"/demo/extra.c:2: error: undefined reference to `missingTable'\n"}},
        {"data only", "extra.c", "extern int missingTable[];\nint *g_table = missingTable;\n", "",
         {"/demo/extra.c: error: undefined reference to `missingTable'\n"}},
        {"duplicate", "extra.c", "\nvoid worldStep(void) {}\n", "",
         {"/demo/extra.c:2: error: multiple definition of `worldStep'\n",
          "/demo/src/game/world.cpp:59: note: first defined here\n"}},
        {"no entry", "", "", "int notMain(void) { return 0; }\n",
         {"lintel: error: the program defines no entry point main\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(m_tmp.file("demo"));
        SetUp();
        if (!c.file.empty())
            addSource(c.file, c.content);
        if (!c.mainContent.empty())
            writeFile(m_tmp.file("demo/src/main.c"), c.mainContent);
        const CliRun run = build();
        EXPECT_EQ(run.status, 1) << run.output;
        for (const std::string& line : c.lines)
            EXPECT_NE(run.output.find(line), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Tool returned error: 1\n"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Build complete"), std::string::npos) << run.output;
        EXPECT_FALSE(TestSupport::exists(m_tmp.file("demo/Output/program"))) << "nothing written";
    }
}

TEST_F(DemoBuild, DeadCodeEliminationDropsWhatNothingCalls)
{
    addSource("extra.c", "int unusedHelper(int x) { return x * 3 + 1; }\n");
    setProperty("deadCodeElim", "true");
    const CliRun run = build();
    ASSERT_EQ(run.status, 0) << run.output;

    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.output, m, std::regex("lintel: removed ([0-9]+) of ([0-9]+) functions, ([0-9,]+) bytes\n")))
        << run.output;
    const int removed = std::stoi(m[1]);
    const int total = std::stoi(m[2]);
    EXPECT_GE(removed, 3) << "unusedHelper, fixMul and fixDiv at least";
    EXPECT_TRUE(std::regex_match(m[3].str(), std::regex("[0-9]{1,3}(,[0-9]{3})*")));
    EXPECT_NE(run.output.find("Running: lintel -no-verify"), std::string::npos) << run.output;

    const std::string rebuild = readFile(m_tmp.file("demo/rebuild.s"));
    const std::string program = readFile(m_tmp.file("demo/Output/program"));
    for (const char* gone : {"unusedHelper", "fixMul", "kvRectContains"}) {
        EXPECT_EQ(rebuild.find(std::string(gone) + ":"), std::string::npos) << gone;
        EXPECT_EQ(program.find(std::string("function ") + gone + "\n"), std::string::npos) << gone;
    }
    for (const char* kept : {"main", "worldStep", "kvClamp", "kvFlip"})
        EXPECT_NE(program.find(std::string("function ") + kept + "\n"), std::string::npos) << kept << program;
    // The second pass read rebuild.s alone, and what it lists is what was kept.
    EXPECT_TRUE(std::regex_search(program, std::regex("\ninput [^\n]*/rebuild\\.s\n"))) << program;
    EXPECT_EQ(program.find("library "), std::string::npos) << program;
    int functions = 0;
    for (size_t at = program.find("\nfunction "); at != std::string::npos; at = program.find("\nfunction ", at + 1))
        ++functions;
    EXPECT_EQ(functions, total - removed) << program;
}

TEST_F(SymbianDemo, BuildsTheSignedPackageWithTheDemoSdk)
{
    const CliRun run = build(sdkEnvironment());
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char* line : {"is in the test range", "Running: bldmake bldfiles\n", "Running: abld build gcce urel\n",
                             "lintel: removed "})
        EXPECT_NE(run.output.find(line), std::string::npos) << line << "\n" << run.output;
    EXPECT_NE(run.output.find("Running: " + Kit + "/symbian/Epoc32/tools/CreateSIS create -cert my.cert -key my.key "
                              "-pass Zeqa LauncherApp.pkg\n"),
              std::string::npos)
        << "CreateSIS taken from EPOCROOT\n" << run.output;
    const std::string sis = readFile(m_tmp.file("demo/so/symbian.sis"));
    EXPECT_EQ(sis.rfind("VARNEL-DEMO-SIS 1\nheader #{\"symbian\"},(0xE1234567),", 0), 0u) << sis;
    // The package holds this build's program, the launcher and its resources.
    EXPECT_NE(sis.find("!:\\private\\E1234567\\program\n" + readFile(m_tmp.file("demo/Output/program"))), std::string::npos);
    for (const char* target : {"!:\\sys\\bin\\E1234567.exe", "!:\\resource\\apps\\E1234567.rsc",
                               "!:\\private\\10003a3f\\import\\apps\\E1234567_reg.rsc"})
        EXPECT_NE(sis.find(std::string(" ") + target + "\n"), std::string::npos) << target;
    EXPECT_FALSE(TestSupport::exists(m_tmp.file("demo/so/LauncherApp.sis")));
}

TEST_F(SymbianDemo, MissingSigningFilesAreNamedAndRefused)
{
    struct Case {
        const char* remove;
        std::string line, toolLine;
    };
    const Case cases[] = {
        {"my.cert", "The signing certificate \"my.cert\" is missing in \"",
         "CreateSIS: error: cannot find the signing certificate my.cert in "},
        {"my.key", "The signing key \"my.key\" is missing in \"", "CreateSIS: error: cannot find the signing key my.key in "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remove);
        fs::remove_all(m_tmp.file("demo"));
        SetUp();
        fs::remove(m_tmp.file(std::string("demo/so/") + c.remove));
        const CliRun run = build(sdkEnvironment());
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(c.line + m_tmp.file("demo/so") + "\"\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find(c.toolLine + m_tmp.file("demo/so") + "\n"), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("Tool returned error: 1\n"), std::string::npos) << run.output;
        EXPECT_FALSE(TestSupport::exists(m_tmp.file("demo/so/symbian.sis")));
    }
}

// Each demo SDK tool refuses what it cannot use and names it.
TEST_F(SymbianDemo, SdkToolsCheckTheirInputs)
{
    const std::string so = m_tmp.file("demo/so");
    struct Case {
        std::string command;
        std::string output;
    };
    const std::string tools = Kit + "/symbian/Epoc32/tools/";
    const Case cases[] = {
        {"bldmake bldfiles", "bldmake: error: no bld.inf in " + so},
        {"bldmake", "usage: bldmake bldfiles"},
        {"abld build gcce urel", "abld: error: no project list here: run bldmake bldfiles first"},
        {"abld build winscw urel", "usage: abld build gcce|armv5 urel|udeb"},
        {"CreateSIS create -cert my.cert -key my.key -pass Zeqa none.pkg", "CreateSIS: error: cannot find the package file none.pkg"},
        {"CreateSIS create -cert my.key -key my.cert -pass Zeqa none.pkg", "CreateSIS: error: my.key is no signing certificate"},
        {"CreateSIS create -cert my.cert -key my.key LauncherApp.pkg", "is encrypted: give its password with -pass"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const std::string command = "cd " + shellQuote(so) + " && EPOCROOT=" + shellQuote(m_tmp.file("sdk/")) + " "
            + shellQuote(tools + c.command.substr(0, c.command.find(' '))) + c.command.substr(std::min(c.command.size(), c.command.find(' '))) + " 2>&1";
        const CliRun run = runShell(command);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(c.output), std::string::npos) << run.output;
    }
    for (const char* tool : {"bldmake", "abld", "CreateSIS"}) {
        const CliRun help = runShell(shellQuote(tools + tool) + " --help 2>&1");
        EXPECT_EQ(help.status, 0) << tool;
        EXPECT_NE(help.output.find(std::string(tool) + " - a tool of the Varnel demo installation's Symbian SDK stand-in"),
                  std::string::npos)
            << help.output;
    }
    // A .pkg naming a file that is not there.
    writeFile(so + "/LauncherApp.pkg", "#{\"x\"},(0xE1234567),1,0,0\n\"\\epoc32\\release\\gcce\\urel\\gone.exe\"-\"!:\\sys\\bin\\gone.exe\"\n");
    const std::string command = "cd " + shellQuote(so) + " && EPOCROOT=" + shellQuote(m_tmp.file("sdk/")) + " "
        + shellQuote(tools + "CreateSIS") + " create -cert my.cert -key my.key -pass Zeqa LauncherApp.pkg 2>&1";
    const CliRun run = runShell(command);
    EXPECT_EQ(run.status, 1);
    const std::string& text = run.output;
    EXPECT_NE(text.find("LauncherApp.pkg:2: cannot find \\epoc32\\release\\gcce\\urel\\gone.exe (looked at "
                        + m_tmp.file("sdk/") + "Epoc32/release/gcce/urel/gone.exe)"),
              std::string::npos)
        << text;
}

// Without EPOCROOT the SDK's usual installation path is used as it is.
TEST_F(SymbianDemo, WithoutEpocRootTheUsualCreateSisPathStands)
{
    const char* path = std::getenv("PATH");
    const CliRun run = build("PATH=" + shellQuote(Kit + "/symbian/Epoc32/tools:" + (path ? path : "/usr/bin:/bin")));
    EXPECT_NE(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Running: /Symbian/9.2/S60_3rd_FP1/Epoc32/tools/CreateSIS create -cert my.cert -key "
                              "my.key -pass Zeqa LauncherApp.pkg\nError 2 on line 721\nCannot find the program "
                              "\"/Symbian/9.2/S60_3rd_FP1/Epoc32/tools/CreateSIS\""),
              std::string::npos)
        << run.output;
}
