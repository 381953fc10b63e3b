#include "core/Startup.h"
#include "support/TestSupport.h"
#include "util/PathUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Brask;

namespace {

class EnvGuard {
public:
    EnvGuard()
    {
        const char* v = getenv("VARNELDIR");
        m_had = v != nullptr;
        if (v)
            m_value = v;
    }
    ~EnvGuard()
    {
        if (m_had)
            setenv("VARNELDIR", m_value.c_str(), 1);
        else
            unsetenv("VARNELDIR");
    }

private:
    bool m_had;
    std::string m_value;
};

} // namespace

TEST(StartupTest, MissingOrEmptyRootIsRefused)
{
    EnvGuard env;
    TestSupport::DirectoryGuard dir;
    const String before = currentDirectory();
    char arg0[] = "varbuild";
    char* argv[] = {arg0, nullptr};
    StartupInfo info;
    unsetenv("VARNELDIR");
    EXPECT_FALSE(prepareStartup(1, argv, info));
    setenv("VARNELDIR", "", 1);
    EXPECT_FALSE(prepareStartup(1, argv, info));
    EXPECT_EQ(currentDirectory(), before);
    EXPECT_STREQ(MissingRootMessage, "Error: The VARNELDIR has not been set. Please reinstall Varnel.");
}

TEST(StartupTest, ArgumentIsResolvedAgainstTheStartingDirectoryBeforeMovingToBin)
{
    EnvGuard env;
    TestSupport::DirectoryGuard dir;
    TestSupport::TempDir tmp;
    TestSupport::makeDirs(tmp.file("kit/bin"));
    TestSupport::makeDirs(tmp.file("work"));
    ASSERT_EQ(chdir(tmp.file("work").c_str()), 0);
    const String work = currentDirectory();
    setenv("VARNELDIR", tmp.file("kit").c_str(), 1);

    char arg0[] = "varbuild";
    char arg1[] = "../demo/demo.vnp";
    char arg2[] = "--ignored";
    char* argv[] = {arg0, arg1, arg2, nullptr};
    StartupInfo info;
    ASSERT_TRUE(prepareStartup(3, argv, info));
    EXPECT_EQ(info.root, tmp.file("kit"));
    EXPECT_EQ(info.projectPath, absoluteDirectory(work + "/../") + "demo/demo.vnp");
    EXPECT_EQ(currentDirectory(), std::filesystem::canonical(tmp.file("kit/bin")).string());

    // An argument that looks like an option is still a path.
    char opt[] = "-x";
    char* argv2[] = {arg0, opt, nullptr};
    ASSERT_TRUE(prepareStartup(2, argv2, info));
    EXPECT_EQ(fileNamePart(info.projectPath), "-x");
}
