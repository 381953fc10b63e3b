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

struct CliRun {
    int status = -1;
    std::string output;
};

class DemoBuild : public ::testing::Test {
protected:
    void SetUp() override { fs::copy(Kit + "/projects/demo", m_tmp.file("demo"), fs::copy_options::recursive); }

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

    std::string project() const { return m_tmp.file("demo/demo.vnp"); }

    CliRun build()
    {
        CliRun run;
        const std::string command = "VARNELDIR=" + shellQuote(Kit) + " " + shellQuote(Kit + "/bin/varbuild-cli")
            + " build " + shellQuote(project()) + " </dev/null 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return run;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            run.output.append(buffer, n);
        const int status = ::pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    TempDir m_tmp;
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
        for (const char* name : {"KVMidlet.class", "icon.png", "program", "resources", "META-INF/MANIFEST.MF"})
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
        {"undefined", "extra.c", "int nosuch(void);\nint extra(void) { return nosuch() + 1; }\n", "",
         {"extra.s: undefined reference to `nosuch'\n"}},
        {"undefined data", "extra.c", "extern int missingTable[];\nint *extra(void) { return missingTable; }\n", "",
         {"extra.s: undefined reference to `missingTable'\n"}},
        {"duplicate", "extra.c", "void worldStep(void) {}\n", "",
         {"extra.s: multiple definition of `worldStep'; first defined in world.s\n"}},
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
