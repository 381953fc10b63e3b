// The build's command lines, asserted exactly with a recording executor.

#include "BuildFixture.h"

#include "util/PathUtil.h"

#include <filesystem>

using BuildTest::BuildFixture;
using BuildTest::expectedManifest;
using BuildTest::RecordingExecutor;
using TestSupport::CapturedDiagnostics;
using TestSupport::readFile;

namespace {

class BuildCommands : public BuildFixture {
protected:
    std::string xgcc() const { return m_root + "/bin/xgcc "; }
    std::string compile(const std::string& stem, const std::string& source, const std::string& flags = "",
                        const std::string& includes = "", const std::string& defines = "-DKVPIP ") const
    {
        return xgcc() + "-g -o " + m_output + "/" + stem + ".s -S -O2 -Wno-unused-parameter " + flags
            + (includes.empty() ? "-I" + m_root + "/include " : includes) + defines + " " + m_projectDir + source;
    }
    std::string defaultLink(const std::string& objects) const
    {
        return "lintel   -s" + m_root + "/lib/pipe -B " + m_output + "/program " + objects + "KVStd.lib ";
    }
    std::vector<std::string> javaMe(const std::string& rt, const std::string& id, bool resources) const
    {
        const std::string rtDir = m_root + "/" + rt;
        const std::string out = m_output + "/" + id;
        const std::string jar = out + "/game.jar.part";
        std::vector<std::string> lines = {
            "cmd /c mkdir " + out,
            "cmd /c copy " + rtDir + "/VarnelRuntime.jar " + jar + " /y",
            "cmd /c copy " + rtDir + "/devices.txt " + out + " /y",
            "cmd /c copy " + rtDir + "/config.h " + out + " /y",
        };
        if (resources)
            lines.push_back(m_root + "/bin/zip -j -9 " + jar + " " + m_output + "/resources");
        lines.push_back(m_root + "/bin/zip -j -9 " + jar + " " + m_output + "/program");
        lines.push_back(m_root + "/bin/zip -r -9 " + jar + " META-INF");
        return lines;
    }
    static void append(std::vector<std::string>& to, const std::vector<std::string>& more)
    {
        to.insert(to.end(), more.begin(), more.end());
    }
};

TEST_F(BuildCommands, NoProjectGivesOne)
{
    RecordingExecutor executor;
    Brask::ProjectManager manager(m_root, &executor);
    EXPECT_EQ(1, manager.build());
    EXPECT_TRUE(executor.ran.empty());
}

TEST_F(BuildCommands, MissingProjectDirectoryRunsNothing)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    std::filesystem::remove_all(m_projectDir);
    EXPECT_EQ(-1, manager->build());
    EXPECT_TRUE(executor.ran.empty());
    const std::vector<std::string> expected = {"Can't enter \"" + m_projectDir + "\"\n"};
    EXPECT_EQ(expected, executor.messages);
}

TEST_F(BuildCommands, FullApplicationBuild)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "main.cpp");
    addFile(*manager, "src\\draw.c");  // stored with a Windows separator
    addFile(*manager, "main.h");
    addFile(*manager, "README");
    addFile(*manager, "res.lst");
    addFile(*manager, "boot.S");
    addFile(*manager, "Fast.CPP");
    addDevice(*manager, "P1", "profiles\\runtimes\\1");

    CapturedDiagnostics diagnostics;
    ASSERT_EQ(0, manager->build());

    std::vector<std::string> expected = {
        "cmd /c mkdir " + m_output,
        "lintel  -R " + m_output + "/resources  " + m_projectDir + "res.lst",
        compile("main", "main.cpp"),
        compile("draw", "src/draw.c"),
        compile("Fast", "Fast.CPP"),
        defaultLink(m_output + "/main.s  " + m_output + "/draw.s  " + m_output + "/Fast.s  " + m_projectDir + "boot.S "),
        "cmd /c mkdir " + m_output + "/META-INF",
    };
    append(expected, javaMe("profiles/runtimes/1", "1", true));
    EXPECT_EQ(expected, executor.ran);
    for (const std::string& dir : std::vector<std::string>(executor.directories.begin(), executor.directories.end() - 1))
        EXPECT_EQ(m_projectDir.substr(0, m_projectDir.size() - 1), dir);
    EXPECT_EQ(m_output, executor.directories.back()) << "the META-INF zip runs inside Output";
    EXPECT_EQ(m_projectDir.substr(0, m_projectDir.size() - 1), Brask::currentDirectory());

    EXPECT_EQ("Building resources\nBuilding for 1 devices\n\n", diagnostics.text());
    ASSERT_EQ(1u, executor.messages.size());
    EXPECT_EQ(0u, executor.messages[0].rfind("Build complete, time: ", 0));
    EXPECT_EQ('\n', executor.messages[0].back());
    EXPECT_EQ(expectedManifest("game"), readFile(m_output + "/META-INF/MANIFEST.MF"));
}

// The reference example: Wall on, the default include directory and nothing
// else set.
TEST_F(BuildCommands, ReferenceExampleLines)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "main.cpp");
    manager->getProject()->setProperty("Wall", "true");
    ASSERT_EQ(0, manager->build());
    ASSERT_GE(executor.ran.size(), 3u);
    EXPECT_EQ(m_root + "/bin/xgcc -g -o " + m_output + "/main.s -S -O2 -Wno-unused-parameter -Wall -I" + m_root
                  + "/include -DKVPIP  " + m_projectDir + "main.cpp",
              executor.ran[1]);
    EXPECT_EQ("lintel   -s" + m_root + "/lib/pipe -B " + m_output + "/program " + m_output + "/main.s  KVStd.lib ",
              executor.ran[2]);
}

struct PropertyCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> properties;
    std::string flags;
    std::string includes;  // "{I}" stands for the default include option
    std::string defines;
    std::string link;      // "{R}" root, "{O}" output directory
    std::string secondPass;
    bool packaged;
};

std::string expand(std::string text, const std::string& root, const std::string& output, const std::string& projectDir)
{
    const std::pair<std::string, std::string> keys[] = {{"{I}", "-I" + root + "/include "}, {"{R}", root},
                                                        {"{O}", output}, {"{P}", projectDir}};
    for (const auto& [key, value] : keys) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
            text.replace(at, key.size(), value);
    }
    return text;
}

TEST_F(BuildCommands, EveryPropertyHasItsEffect)
{
    const std::string app = "-s{R}/lib/pipe -B {O}/program {O}/main.s  ";
    const PropertyCase cases[] = {
        {"defaults", {}, "", "{I}", "-DKVPIP ", "lintel   " + app + "KVStd.lib ", "", true},
        {"Werror", {{"Werror", "true"}}, "-Werror ", "{I}", "-DKVPIP ", "lintel   " + app + "KVStd.lib ", "", true},
        {"Wall as 1", {{"Wall", "1"}}, "-Wall ", "{I}", "-DKVPIP ", "lintel   " + app + "KVStd.lib ", "", true},
        {"Wextra", {{"Wextra", "true"}}, "-Wextra -Wwrite-strings ", "{I}", "-DKVPIP ",
         "lintel   " + app + "KVStd.lib ", "", true},
        {"warnings in fixed order", {{"Wextra", "1"}, {"Wall", "true"}, {"Werror", "1"}},
         "-Werror -Wall -Wextra -Wwrite-strings ", "{I}", "-DKVPIP ", "lintel   " + app + "KVStd.lib ", "", true},
        {"Wall other text is off", {{"Wall", "yes"}}, "", "{I}", "-DKVPIP ", "lintel   " + app + "KVStd.lib ", "",
         true},
        {"extraCmd", {{"extraCmd", "-DLEVEL=2 -O3"}}, "", "{I}", "-DKVPIP -DLEVEL=2 -O3",
         "lintel   " + app + "KVStd.lib ", "", true},
        {"include list", {{"additionalIncludeDirectories", "a;b"}}, "", "{I}-Ia -Ib ", "-DKVPIP ",
         "lintel   " + app + "KVStd.lib ", "", true},
        {"include list with empty pieces", {{"additionalIncludeDirectories", ";a;;b;"}}, "", "{I}-Ia -Ib ",
         "-DKVPIP ", "lintel   " + app + "KVStd.lib ", "", true},
        {"include list of one empty piece", {{"additionalIncludeDirectories", ";"}}, "", "{I}", "-DKVPIP ",
         "lintel   " + app + "KVStd.lib ", "", true},
        {"windows include dir", {{"additionalIncludeDirectories", "..\\inc"}}, "", "{I}-I../inc ", "-DKVPIP ",
         "lintel   " + app + "KVStd.lib ", "", true},
        {"no default includes", {{"ignoreDefaultIncludeDirectories", "1"}, {"additionalIncludeDirectories", "x"}},
         "", "-Ix ", "-DKVPIP ", "lintel   " + app + "KVStd.lib ", "", true},
        {"extraLinker", {{"extraLinker", "-v"}}, "", "{I}", "-DKVPIP ", "lintel  -v " + app + "KVStd.lib ", "",
         true},
        {"library dirs", {{"additionalLibraryDirectories", "x;y"}}, "", "{I}", "-DKVPIP ",
         "lintel   -s{R}/lib/pipe -sx -sy -B {O}/program {O}/main.s  KVStd.lib ", "", true},
        {"library dirs with empty pieces", {{"additionalLibraryDirectories", "x;;y;"}}, "", "{I}", "-DKVPIP ",
         "lintel   -s{R}/lib/pipe -sx -sy -B {O}/program {O}/main.s  KVStd.lib ", "", true},
        {"no default library dirs", {{"ignoreDefaultLibraryDirectories", "true"}}, "", "{I}", "-DKVPIP ",
         "lintel   -B {O}/program {O}/main.s  KVStd.lib ", "", true},
        {"dependencies drop KVLib.lib", {{"additionalDependencies", "KVLib.lib other.lib"}}, "", "{I}", "-DKVPIP ",
         "lintel   " + app + "KVStd.lib other.lib ", "", true},
        {"no default libraries", {{"ignoreDefaultLibraries", "1"}}, "", "{I}", "-DKVPIP ", "lintel   " + app, "",
         true},
        {"deadCodeElim 1 is off", {{"deadCodeElim", "1"}}, "", "{I}", "-DKVPIP ", "lintel   " + app + "KVStd.lib ",
         "", true},
        {"deadCodeElim", {{"deadCodeElim", "true"}, {"extraLinker", "-q"}}, "", "{I}", "-DKVPIP ",
         "lintel  -q -s{R}/lib/pipe -elim -B {O}/program {O}/main.s  KVStd.lib ",
         "lintel -no-verify -q -B {O}/program {P}/rebuild.s", true},
        {"library", {{"configType", "lib"}, {"outputPath", "game.lib"}}, "", "{I}", "-DKVPIP ",
         "lintel   -s{R}/lib/pipe -L game.lib {O}/main.s  ", "", false},
        {"library keeps dependencies", {{"configType", "lib"}, {"outputPath", "g.lib"}, {"additionalDependencies", "m.lib"}},
         "", "{I}", "-DKVPIP ", "lintel   -s{R}/lib/pipe -L g.lib {O}/main.s  m.lib ", "", false},
        {"other configType", {{"configType", "dll"}}, "", "{I}", "-DKVPIP ",
         "lintel   -s{R}/lib/pipe {O}/main.s  KVStd.lib ", "", true},
    };
    for (const PropertyCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingExecutor executor;
        auto manager = makeManager(&executor);
        addFile(*manager, "main.c");
        for (const auto& [key, value] : c.properties)
            manager->getProject()->setProperty(key, value);
        EXPECT_EQ(0, manager->build());

        std::vector<std::string> expected = {
            "cmd /c mkdir " + m_output,
            compile("main", "main.c", c.flags, expand(c.includes, m_root, m_output, m_projectDir), c.defines),
            expand(c.link, m_root, m_output, m_projectDir),
        };
        if (!c.secondPass.empty())
            expected.push_back(expand(c.secondPass, m_root, m_output, m_projectDir));
        if (c.packaged)
            expected.push_back("cmd /c mkdir " + m_output + "/META-INF");
        EXPECT_EQ(expected, executor.ran);
        EXPECT_EQ(c.packaged ? 1u : 0u, executor.messages.size()) << "completion line only when packaged";
    }
}

TEST_F(BuildCommands, ResourceCommandCarriesExtraOptionsAndAllLists)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "a.lst");
    addFile(*manager, "sub/b.LST");
    manager->getProject()->setProperty("extraResourcer", "-compress");
    ASSERT_EQ(0, manager->build());
    ASSERT_GE(executor.ran.size(), 2u);
    EXPECT_EQ("lintel -compress -R " + m_output + "/resources  " + m_projectDir + "a.lst " + m_projectDir + "sub/b.LST",
              executor.ran[1]);
    // Built resources go into the JAR: checked by the packaging commands.
}

TEST_F(BuildCommands, ProjectWithoutSourcesStillLinksAndPackages)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    ASSERT_EQ(0, manager->build());
    const std::vector<std::string> expected = {
        "cmd /c mkdir " + m_output,
        "lintel   -s" + m_root + "/lib/pipe -B " + m_output + "/program KVStd.lib ",
        "cmd /c mkdir " + m_output + "/META-INF",
    };
    EXPECT_EQ(expected, executor.ran);
}

TEST_F(BuildCommands, SameStemInTwoFoldersGetsDistinctAssembly)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "a/util.c");
    addFile(*manager, "b/util.cpp");
    addFile(*manager, "util_2.c");
    addFile(*manager, "c/util.cc");
    ASSERT_EQ(0, manager->build());
    ASSERT_GE(executor.ran.size(), 6u);
    EXPECT_EQ(compile("util", "a/util.c"), executor.ran[1]);
    EXPECT_EQ(compile("util_2", "b/util.cpp"), executor.ran[2]);
    EXPECT_EQ(compile("util_2_2", "util_2.c"), executor.ran[3]);
    EXPECT_EQ(compile("util_3", "c/util.cc"), executor.ran[4]);
    const std::string o = m_output;
    EXPECT_EQ(defaultLink(o + "/util.s  " + o + "/util_2.s  " + o + "/util_2_2.s  " + o + "/util_3.s  "),
              executor.ran[5]);
}

// Every command fails in turn: the build ends there with that command's code
// and nothing after it runs; the ignored mkdirs never end it.
TEST_F(BuildCommands, EachFailingStepEndsTheBuild)
{
    auto setUp = [this](RecordingExecutor& executor) {
        auto manager = makeManager(&executor);
        addFile(*manager, "res.lst");
        addFile(*manager, "a.c");
        addFile(*manager, "b.cpp");
        addFile(*manager, "c.cc");
        manager->getProject()->setProperty("deadCodeElim", "true");
        addDevice(*manager, "P1", "profiles\\runtimes\\2");
        addDevice(*manager, "P2", "profiles\\runtimes\\1");
        return manager;
    };
    RecordingExecutor full;
    auto fullManager = setUp(full);
    ASSERT_EQ(0, fullManager->build());
    const std::vector<std::string> all = full.ran;
    ASSERT_EQ(22u, all.size());

    for (size_t failAt = 0; failAt < all.size(); ++failAt) {
        SCOPED_TRACE(all[failAt]);
        RecordingExecutor executor;
        const int code = 40 + static_cast<int>(failAt);
        executor.result = [failAt, code](const std::string&, size_t index) { return index == failAt ? code : 0; };
        auto manager = setUp(executor);
        const int result = manager->build();
        if (all[failAt].rfind("cmd /c mkdir ", 0) == 0) {
            EXPECT_EQ(0, result);
            EXPECT_EQ(all, executor.ran);
            EXPECT_EQ(1u, executor.messages.size());
        } else {
            EXPECT_EQ(code, result);
            EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + failAt + 1), executor.ran);
            EXPECT_TRUE(executor.messages.empty()) << "no completion line after a failure";
        }
        EXPECT_EQ(m_projectDir.substr(0, m_projectDir.size() - 1), Brask::currentDirectory());
    }
}

TEST_F(BuildCommands, WithoutExecutorTheFirstToolFails)
{
    struct Case {
        const char* name;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"resources first", {"r.lst", "a.c"}},
        {"compile first", {"a.c"}},
        {"link only", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto manager = makeManager(nullptr);
        for (const std::string& f : c.files)
            addFile(*manager, f);
        EXPECT_EQ(-1, manager->build());
        EXPECT_FALSE(TestSupport::exists(m_output)) << "the mkdir is skipped without an executor";
    }
}

TEST_F(BuildCommands, ZeroTargetDevicesStillWritesTheManifest)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    CapturedDiagnostics diagnostics;
    ASSERT_EQ(0, manager->build());
    EXPECT_EQ("Building for 0 devices\n\n", diagnostics.text());
    EXPECT_EQ("cmd /c mkdir " + m_output + "/META-INF", executor.ran.back());
    EXPECT_EQ(expectedManifest("game"), readFile(m_output + "/META-INF/MANIFEST.MF"));
    EXPECT_EQ(1u, executor.messages.size());
}

TEST_F(BuildCommands, SharedRuntimesArePackagedOnceInByteOrder)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    addDevice(*manager, "P1", "profiles\\runtimes\\b");
    addDevice(*manager, "P2", "profiles\\runtimes\\B");
    addDevice(*manager, "P3", "profiles\\runtimes\\b");
    addDevice(*manager, "P4", "profiles\\runtimes\\\xe9");
    CapturedDiagnostics diagnostics;
    ASSERT_EQ(0, manager->build());
    EXPECT_EQ("Building for 4 devices\n\n", diagnostics.text());

    std::vector<std::string> expected = {
        "cmd /c mkdir " + m_output,
        "lintel   -s" + m_root + "/lib/pipe -B " + m_output + "/program KVStd.lib ",
        "cmd /c mkdir " + m_output + "/META-INF",
    };
    append(expected, javaMe("profiles/runtimes/B", "B", false));
    append(expected, javaMe("profiles/runtimes/b", "b", false));
    append(expected, javaMe("profiles/runtimes/\xe9", "\xe9", false));
    EXPECT_EQ(expected, executor.ran);
}

TEST_F(BuildCommands, EmptyRuntimeTextPackagesIntoOutputItself)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    addDevice(*manager, "P1", "");
    ASSERT_EQ(0, manager->build());
    const std::vector<std::string> tail(executor.ran.end() - 6, executor.ran.end());
    const std::string o = m_output;
    const std::vector<std::string> expected = {
        "cmd /c mkdir " + o + "/",
        "cmd /c copy " + m_root + "//VarnelRuntime.jar " + o + "//game.jar.part /y",
        "cmd /c copy " + m_root + "//devices.txt " + o + "/ /y",
        "cmd /c copy " + m_root + "//config.h " + o + "/ /y",
        m_root + "/bin/zip -j -9 " + o + "//game.jar.part " + o + "/program",
        m_root + "/bin/zip -r -9 " + o + "//game.jar.part META-INF",
    };
    EXPECT_EQ(expected, tail);
}

TEST_F(BuildCommands, UnwritableManifestEndsThePackaging)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    addDevice(*manager, "P1", "profiles\\runtimes\\1");
    // A stale manifest from an earlier build must not be zipped under a new name.
    TestSupport::makeDirs(m_output + "/META-INF/MANIFEST.MF");
    EXPECT_EQ(-1, manager->build());
    EXPECT_EQ("cmd /c mkdir " + m_output + "/META-INF", executor.ran.back()) << "no copy or zip after the failure";
    const std::vector<std::string> expected = {"Can't write \"" + m_output + "/META-INF/MANIFEST.MF\"\n"};
    EXPECT_EQ(expected, executor.messages);
}

TEST_F(BuildCommands, SymbianProjectMakesNoJar)
{
    RecordingExecutor executor;
    m_kit.writeTemplates();
    executor.sideEffect = [](const std::string& command) {
        if (command.find("CreateSIS create") != std::string::npos)
            TestSupport::writeFile("LauncherApp.sis", "sis");
    };
    auto manager = makeManager(&executor);
    addDevice(*manager, "P1", "profiles\\runtimes\\1");
    manager->getProject()->setProperty("S60v3UID", "0xA000BEEF");
    ASSERT_EQ(0, manager->build());
    const std::vector<std::string> tail(executor.ran.end() - 3, executor.ran.end());
    const std::vector<std::string> expected = {
        "bldmake bldfiles",
        "abld build gcce urel",
        m_kit.createSis() + " create -cert my.cert -key my.key -pass Zeqa LauncherApp.pkg",
    };
    EXPECT_EQ(expected, tail);
    for (const std::string& command : executor.ran)
        EXPECT_EQ(std::string::npos, command.find("zip")) << command;
    EXPECT_EQ(m_projectDir + "so", Brask::currentDirectory());
}

} // namespace

// Empty entries of the configuration's lists (an empty value, a trailing ";")
// give no bare -I or -s either.
TEST_F(BuildCommands, EmptyConfigurationDirectoriesGiveNoOptions)
{
    RecordingExecutor executor;
    auto manager = makeManager(&executor);
    addFile(*manager, "main.c");
    manager->getConfig().includeDirectories = {"", m_root + "/include", ""};
    manager->getConfig().libraryDirectories = {""};
    ASSERT_EQ(0, manager->build());
    ASSERT_GE(executor.ran.size(), 3u);
    EXPECT_EQ(compile("main", "main.c"), executor.ran[1]);
    EXPECT_EQ("lintel   -B " + m_output + "/program " + m_output + "/main.s  KVStd.lib ", executor.ran[2]);
}

// The link writes a library where -L points: a library project must never
// name a build input there (an empty path made lintel write over the first
// assembly file).
TEST_F(BuildCommands, LibraryOutputNeverOverwritesAProjectFile)
{
    struct Case {
        std::string outputPath;
        std::string message;  // empty: the build runs
    };
    const Case cases[] = {
        {"", "The library has no output path: set one in the project settings.\n"},
        {"main.c", "The library's output path \"main.c\" is a file of the project: choose another in the project "
                   "settings.\n"},
        {"./sub/../extra.s", "The library's output path \"./sub/../extra.s\" is a file of the project: choose "
                             "another in the project settings.\n"},
        {"sub\\util.h", "The library's output path \"sub\\util.h\" is a file of the project: choose another in "
                         "the project settings.\n"},
        {"game.lib", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outputPath);
        RecordingExecutor executor;
        auto manager = makeManager(&executor);
        addFile(*manager, "main.c");
        addFile(*manager, "extra.s");
        addFile(*manager, "sub/util.h");
        manager->getProject()->setProperty("configType", "lib");
        manager->getProject()->setProperty("outputPath", c.outputPath);
        if (c.message.empty()) {
            EXPECT_EQ(0, manager->build());
            ASSERT_EQ(3u, executor.ran.size());
            EXPECT_EQ("lintel   -s" + m_root + "/lib/pipe -L game.lib " + m_output + "/main.s  " + m_projectDir
                          + "extra.s ",
                      executor.ran[2]);
        } else {
            EXPECT_EQ(-1, manager->build());
            EXPECT_TRUE(executor.ran.empty()) << "nothing runs";
            EXPECT_EQ(std::vector<std::string>{c.message}, executor.messages);
        }
    }
}
