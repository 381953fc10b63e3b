// Builds with real child processes: stand-in tools written as shell scripts
// into a temporary installation, Info-ZIP for the archives.

#include "BuildFixture.h"

#include "util/PathUtil.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <sys/mount.h>

using BuildTest::BuildFixture;
using BuildTest::expectedJad;
using BuildTest::expectedManifest;
using BuildTest::ProcessExecutor;
using BuildTest::RecordingExecutor;
using TestSupport::EnvGuard;
using BuildTest::zipEntries;
using BuildTest::zipEntry;
using TestSupport::exists;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

using ProcessBuild = BuildFixture;

TEST_F(ProcessBuild, ApplicationWithTwoRuntimes)
{
    m_kit.addRuntime("1");
    m_kit.addRuntime("2");
    // Only runtime 1 has an icon; its packages carry it as the manifest's NAME.png.
    writeFile(m_kit.root() + "/profiles/runtimes/1/icon.png", "png bytes");
    ProcessExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "main.c");
    addFile(*manager, "lib\\util.cpp");
    addFile(*manager, "res.lst");
    addDevice(*manager, "P1", "profiles\\runtimes\\2");
    addDevice(*manager, "P2", "profiles\\runtimes\\1");

    // The second build finds Output in place (cmd's mkdir then fails, which
    // is ignored) and must not carry entries over from the first JAR.
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(0, manager->build()) << executor.transcript;
        EXPECT_EQ("; compiled from " + m_projectDir + "main.c\n", readFile(m_output + "/main.s"));
        EXPECT_EQ("; compiled from " + m_projectDir + "lib/util.cpp\n", readFile(m_output + "/util.s"));
        for (const char* id : {"1", "2"}) {
            SCOPED_TRACE(id);
            const std::string jar = m_output + "/" + id + "/game.jar";
            std::vector<std::string> entries = {"META-INF/", "META-INF/MANIFEST.MF", "kv/", "kv/Interp.class",
                                                "program", "resources"};
            if (id == std::string("1"))
                entries.insert(entries.begin() + 2, "game.png");
            EXPECT_EQ(entries, zipEntries(jar));
            if (id == std::string("1")) {
                EXPECT_EQ("png bytes", zipEntry(jar, "game.png"));
            }
            EXPECT_EQ(expectedManifest("game"), zipEntry(jar, "META-INF/MANIFEST.MF"));
            EXPECT_EQ("program\n", zipEntry(jar, "program"));
            EXPECT_EQ(expectedJad("game", "game.jar", readFile(jar).size()), readFile(m_output + "/" + id + "/game.jad"));
            EXPECT_EQ(std::string("devices of ") + id + "\n", readFile(m_output + "/" + id + "/devices.txt"));
            EXPECT_TRUE(exists(m_output + "/" + id + "/config.h"));
        }
    }
    EXPECT_TRUE(contains(executor.transcript, "Build complete, time: "));
    EXPECT_EQ(m_projectDir.substr(0, m_projectDir.size() - 1), Brask::currentDirectory());
}

TEST_F(ProcessBuild, FailingCompileStopsBeforeTheLink)
{
    ProcessExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "a.c");
    addFile(*manager, "b.c", "FAILME\n");
    addFile(*manager, "c.c");
    EXPECT_EQ(3, manager->build());
    EXPECT_TRUE(exists(m_output + "/a.s"));
    EXPECT_FALSE(exists(m_output + "/c.s"));
    EXPECT_FALSE(contains(m_kit.logText(), "lintel"));
    EXPECT_TRUE(contains(executor.transcript, m_projectDir + "b.c:1: error: FAILME found\n"));
}

TEST_F(ProcessBuild, DeadCodeEliminationRunsTheSecondPass)
{
    ProcessExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "main.c");
    manager->getProject()->setProperty("deadCodeElim", "true");
    ASSERT_EQ(0, manager->build()) << executor.transcript;
    EXPECT_EQ("; reduced program\n", readFile(m_projectDir + "rebuild.s"));
    EXPECT_TRUE(contains(m_kit.logText(), "lintel [-no-verify] [-B] [" + m_output + "/program] [" + m_projectDir
                                              + "/rebuild.s]\n"));
}

TEST_F(ProcessBuild, LibraryBuildWritesTheLibraryOnly)
{
    ProcessExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "main.c");
    manager->getProject()->setProperty("configType", "lib");
    manager->getProject()->setProperty("outputPath", "game.lib");
    ASSERT_EQ(0, manager->build()) << executor.transcript;
    EXPECT_EQ("library\n", readFile(m_projectDir + "game.lib"));
    EXPECT_FALSE(exists(m_output + "/META-INF"));
    EXPECT_FALSE(contains(executor.transcript, "Build complete"));
}

// A small file system mounted for one case, if this process may mount one.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& dir)
        : m_dir(dir)
    {
        std::filesystem::create_directories(dir);
        m_mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_dir.c_str(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    std::string m_dir;
    bool m_mounted = false;
};

// Every packaging failure ends the build with the tool's code and leaves the
// JAR of the previous build as it was, with nothing half-written beside it.
TEST_F(ProcessBuild, PackagingFailuresEndWithTheToolsCode)
{
    const std::string jarDir = m_output + "/1";
    // Fills the disk under zip: a program far larger than the 64 KiB left.
    auto hugeProgram = [this](const std::string& command) {
        if (contains(command, "zip -j -9") && contains(command, "/program")) {
            std::mt19937 random(7);
            std::string noise(256 * 1024, '\0');
            for (char& c : noise)
                c = static_cast<char>(random());
            writeFile(m_output + "/program", noise);
        }
        return 0;
    };
    // The same, injected: zip leaves a short archive and its work file.
    auto zipFails = [&](const std::string& command) {
        if (!contains(command, "zip -j -9") || !contains(command, "/program"))
            return 0;
        writeFile(jarDir + "/game.jar.part", "PK\3\4 cut short");
        writeFile(jarDir + "/zi0Xq7Pm", "PK\3\4");
        return 14;
    };
    struct Case {
        const char* name;
        std::function<void(const std::string& runtimeDir)> breakIt;
        std::function<int(const std::string& command)> fault;
        bool smallDisk;
        int code;  // 0: any failure
        const char* lastCommand;
    };
    const Case cases[] = {
        {"runtime without config.h", [](const std::string& dir) { std::remove((dir + "/config.h").c_str()); }, {},
         false, 1, "config.h"},
        {"runtime JAR is no archive", [](const std::string& dir) { writeFile(dir + "/VarnelRuntime.jar", "junk"); },
         {}, false, 3, "zip -j -9"},
        {"disk full while zip adds the program", {}, zipFails, false, 14, "zip -j -9"},
        {"a 64 KiB disk fills while zip adds the program", {}, hugeProgram, true, 0, "zip -j -9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(m_output);
        std::filesystem::remove_all(m_root + "/profiles/runtimes/1");
        m_kit.addRuntime("1");
        const SmallDisk disk(c.smallDisk ? jarDir : m_tmp.file("unused"));
        if (c.smallDisk && !disk.mounted()) {
            std::printf("skipped \"%s\": cannot mount a file system here\n", c.name);
            continue;
        }
        ProcessExecutor executor;
        auto manager = makeManager(&executor);
        addDevice(*manager, "P1", "profiles\\runtimes\\1");
        ASSERT_EQ(0, manager->build()) << executor.transcript;
        const std::string previous = readFile(jarDir + "/game.jar");
        ASSERT_FALSE(previous.empty());

        if (c.breakIt)
            c.breakIt(m_root + "/profiles/runtimes/1");
        executor.before = c.fault;
        executor.transcript.clear();
        const int result = manager->build();
        if (c.code)
            EXPECT_EQ(c.code, result) << executor.transcript;
        else
            EXPECT_NE(0, result) << executor.transcript;
        EXPECT_TRUE(contains(executor.ran.back(), c.lastCommand)) << executor.ran.back();
        EXPECT_FALSE(contains(executor.transcript, "Build complete"));
        EXPECT_EQ(m_projectDir.substr(0, m_projectDir.size() - 1), Brask::currentDirectory());
        EXPECT_TRUE(previous == readFile(jarDir + "/game.jar")) << "the previous JAR changed";
        EXPECT_EQ(expectedJad("game", "game.jar", previous.size()), readFile(jarDir + "/game.jad"));
        std::vector<std::string> left;
        for (const auto& entry : std::filesystem::directory_iterator(jarDir))
            left.push_back(entry.path().filename().string());
        std::sort(left.begin(), left.end());
        EXPECT_EQ((std::vector<std::string>{"config.h", "devices.txt", "game.jad", "game.jar"}), left);
    }
}

// A descriptor that cannot be written fails the step instead of leaving a
// JAR that a phone would be offered with no descriptor or a stale one.
TEST_F(ProcessBuild, DescriptorThatCannotBeWrittenFailsThePackage)
{
    m_kit.addRuntime("1");
    ProcessExecutor executor;
    auto manager = makeManager(&executor);
    addDevice(*manager, "P1", "profiles\\runtimes\\1");
    std::filesystem::create_directories(m_output + "/1/game.jad/in the way");
    EXPECT_EQ(-1, manager->build());
    EXPECT_TRUE(contains(executor.transcript, "Can't write the descriptor \"" + m_output + "/1/game.jad\"")) << executor.transcript;
    EXPECT_FALSE(contains(executor.transcript, "Build complete"));

    std::filesystem::remove_all(m_output + "/1/game.jad");
    ASSERT_EQ(0, manager->buildChanged()) << executor.transcript;
    EXPECT_EQ(expectedJad("game", "game.jar", readFile(m_output + "/1/game.jar").size()), readFile(m_output + "/1/game.jad"));
}

TEST_F(ProcessBuild, LinkerFailureEndsTheBuild)
{
    EnvGuard fail("FAKE_FAIL_LINTEL", "9");
    ProcessExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "main.c");
    EXPECT_EQ(9, manager->build());
    EXPECT_TRUE(contains(executor.ran.back(), "lintel "));
}

TEST_F(ProcessBuild, SameStemKeepsBothAssemblyFiles)
{
    ProcessExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "a/util.c");
    addFile(*manager, "b/util.cpp");
    ASSERT_EQ(0, manager->build()) << executor.transcript;
    EXPECT_EQ("; compiled from " + m_projectDir + "a/util.c\n", readFile(m_output + "/util.s"));
    EXPECT_EQ("; compiled from " + m_projectDir + "b/util.cpp\n", readFile(m_output + "/util_2.s"));
}

// An installation and a project whose paths hold blanks, and a project name
// with a blank.
class BlankPaths : public BuildFixture {
protected:
    BlankPaths()
        : BuildFixture("My Kit", "My Projects")
    {
    }
};

TEST_F(BlankPaths, CommandLinesQuoteThePaths)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "main.c");
    addDevice(*manager, "P1", "profiles\\runtimes\\1");
    ASSERT_EQ(0, manager->build());
    const std::string r = m_root, o = m_output, p = m_projectDir;
    const std::vector<std::string> expected = {
        "cmd /c mkdir \"" + o + "\"",
        "\"" + r + "/bin/xgcc\" -g -o \"" + o + "/main.s\" -S -O2 -Wno-unused-parameter \"-I" + r
            + "/include\" -DKVPIP  \"" + p + "main.c\"",
        "lintel   \"-s" + r + "/lib/pipe\" -B \"" + o + "/program\" \"" + o + "/main.s\"  KVStd.lib ",
        "cmd /c mkdir \"" + o + "/META-INF\"",
        "cmd /c mkdir \"" + o + "/1\"",
        "cmd /c copy \"" + r + "/profiles/runtimes/1/VarnelRuntime.jar\" \"" + o + "/1/My Projects.jar.part\" /y",
        "cmd /c copy \"" + r + "/profiles/runtimes/1/devices.txt\" \"" + o + "/1\" /y",
        "cmd /c copy \"" + r + "/profiles/runtimes/1/config.h\" \"" + o + "/1\" /y",
        "\"" + r + "/bin/zip\" -j -9 \"" + o + "/1/My Projects.jar.part\" \"" + o + "/program\"",
        "\"" + r + "/bin/zip\" -r -9 \"" + o + "/1/My Projects.jar.part\" META-INF",
    };
    EXPECT_EQ(expected, executor.ran);
}

TEST_F(BlankPaths, ProjectBuildsAndPackages)
{
    m_kit.addRuntime("1");
    ProcessExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "main.c");
    addFile(*manager, "res.lst");
    manager->getProject()->setProperty("deadCodeElim", "true");
    addDevice(*manager, "P1", "profiles\\runtimes\\1");
    ASSERT_EQ(0, manager->build()) << executor.transcript;

    const std::string log = m_kit.logText();
    EXPECT_TRUE(contains(log, "xgcc [-g] [-o] [" + m_output + "/main.s] [-S]")) << log;
    EXPECT_TRUE(contains(log, "[-I" + m_root + "/include] [-DKVPIP] [" + m_projectDir + "main.c]\n")) << log;
    EXPECT_TRUE(contains(log, "[-B] [" + m_output + "/program] [" + m_projectDir + "/rebuild.s]\n")) << log;
    const std::string jar = m_output + "/1/My Projects.jar";
    const std::vector<std::string> entries = {"META-INF/", "META-INF/MANIFEST.MF", "kv/", "kv/Interp.class",
                                              "program", "resources"};
    EXPECT_EQ(entries, zipEntries(jar));
    EXPECT_EQ(expectedManifest("My Projects"), zipEntry(jar, "META-INF/MANIFEST.MF"));
    // The relative URL a phone resolves carries the blank escaped.
    EXPECT_EQ(expectedJad("My Projects", "My%20Projects.jar", readFile(jar).size()),
              readFile(m_output + "/1/My Projects.jad"));
}

} // namespace
