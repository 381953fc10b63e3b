#include "platform/ProgramSearch.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

using namespace Platform;
using TestSupport::TempDir;

namespace {

void makeProgram(const std::string& path, bool executable = true)
{
    TestSupport::writeFile(path, "#!/bin/sh\nexit 0\n");
    ::chmod(path.c_str(), executable ? 0755 : 0644);
}


} // namespace

TEST(ProgramSearch, FirstExecutableFileInOrderWins)
{
    TempDir tmp;
    const std::string a = tmp.file("a"), b = tmp.file("b"), c = tmp.file("c");
    TestSupport::makeDirs(a);
    makeProgram(b + "/tool");
    makeProgram(c + "/tool");
    makeProgram(a + "/plain", false);      // not executable: skipped
    TestSupport::makeDirs(b + "/plain");   // a directory: skipped
    makeProgram(c + "/plain");

    int error = 0;
    EXPECT_EQ(findProgramIn("tool", {a, b, c}, &error), b + "/tool");
    EXPECT_EQ(findProgramIn("tool", {a, c + "/", b}, &error), c + "/tool");
    EXPECT_EQ(findProgramIn("plain", {a, b, c}, &error), c + "/plain");

    error = 0;
    EXPECT_EQ(findProgramIn("missing", {a, b, c}, &error), "");
    EXPECT_EQ(error, ENOENT);
    error = 0;
    EXPECT_EQ(findProgramIn("", {a, b, c}, &error), "");
    EXPECT_EQ(error, ENOENT);
}

TEST(ProgramSearch, NamesWithASlashAreUsedAsGiven)
{
    int error = 0;
    EXPECT_EQ(findProgramIn("./local/tool", {}, &error), "./local/tool");
    EXPECT_EQ(findProgramIn("/no/such/tool", {}, &error), "/no/such/tool");
    // Windows-born separators become "/".
    EXPECT_EQ(findProgramIn("bin\\Notepad++\\Notepad++", {}, &error), "bin/Notepad++/Notepad++");
    // A Linux path keeps its backslashes: VARNELDIR may hold one.
    EXPECT_EQ(findProgramIn("/opt/k\\it/bin/xgcc", {}, &error), "/opt/k\\it/bin/xgcc");
    EXPECT_EQ(error, 0);
}

TEST(ProgramSearch, OwnDirectoryThenKitThenPath)
{
    TempDir tmp;
    const std::string kit = tmp.file("kit");
    const std::string p1 = tmp.file("p1"), p2 = tmp.file("p2");
    TestSupport::makeDirs(kit + "/bin");
    TestSupport::makeDirs(p1);
    TestSupport::makeDirs(p2);
    TestSupport::EnvGuard root("VARNELDIR", kit);
    TestSupport::EnvGuard path("PATH", p1 + "::" + p2);

    const std::vector<std::string> dirs = programSearchDirectories();
    ASSERT_EQ(dirs.size(), 4u) << "empty PATH entries are left out";
    EXPECT_EQ(dirs[0], runningProgramDirectory());
    EXPECT_EQ(dirs[1], kit + "/bin");
    EXPECT_EQ(dirs[2], p1);
    EXPECT_EQ(dirs[3], p2);

    const std::string name = "vb-search-test-tool";
    makeProgram(p2 + "/" + name);
    EXPECT_EQ(findProgram(name), p2 + "/" + name);
    makeProgram(p1 + "/" + name);
    EXPECT_EQ(findProgram(name), p1 + "/" + name);
    makeProgram(kit + "/bin/" + name);
    EXPECT_EQ(findProgram(name), kit + "/bin/" + name);

    // The test program itself lies in the first directory.
    const std::string self = runningProgramDirectory();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(findProgram("test_platform"), self + "/test_platform");
}

TEST(ProgramSearch, EmptyKitRootIsNotSearched)
{
    TestSupport::EnvGuard root("VARNELDIR", "");
    TestSupport::EnvGuard path("PATH", "/nonexistent-dir");
    const std::vector<std::string> dirs = programSearchDirectories();
    ASSERT_EQ(dirs.size(), 2u);
    EXPECT_EQ(dirs[1], "/nonexistent-dir");
}
