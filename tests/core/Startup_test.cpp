#include "core/Startup.h"
#include "support/TestSupport.h"
#include "util/PathUtil.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Brask;

namespace {


} // namespace

// Without VARNELDIR (or with an empty one) the kit whose bin directory holds
// the program serves as the root and is put into the environment; a program
// anywhere else is refused with a text saying what to set.
TEST(StartupTest, MissingRootIsTheKitAroundTheProgramOrRefused)
{
    TestSupport::TempDir tmp;
    TestSupport::makeMinimalInstallation(tmp.file("kit"));
    TestSupport::makeDirs(tmp.file("bare/bin"));
    TestSupport::makeMinimalInstallation(tmp.file("odd"));
    TestSupport::makeDirs(tmp.file("odd/tools"));
    struct Case {
        const char* variable;  // nullptr: unset
        std::string programDirectory;
        std::string root;      // "" when refused
    };
    const Case cases[] = {
        {nullptr, tmp.file("kit/bin"), tmp.file("kit")},
        {"", tmp.file("kit/bin"), tmp.file("kit")},
        {nullptr, tmp.file("bare/bin"), ""},
        {nullptr, tmp.file("odd/tools"), ""},
        {nullptr, "", ""},
        {"/opt/set", tmp.file("kit/bin"), "/opt/set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.programDirectory + " " + (c.variable ? c.variable : "(unset)"));
        TestSupport::EnvGuard env("VARNELDIR");
        TestSupport::DirectoryGuard dir;
        const String before = currentDirectory();
        if (c.variable)
            setenv("VARNELDIR", c.variable, 1);
        else
            unsetenv("VARNELDIR");
        StartupInfo info;
        const bool accepted = prepareStartup("", info, c.programDirectory);
        EXPECT_EQ(accepted, !c.root.empty());
        if (accepted) {
            EXPECT_EQ(info.root, c.root);
            EXPECT_EQ(getEnv("VARNELDIR"), c.root);
        } else {
            EXPECT_NE(info.refusal.find("in " + c.programDirectory + ")"), std::string::npos) << info.refusal;
            EXPECT_EQ(currentDirectory(), before);
        }
    }
    EXPECT_STREQ(MissingRootMessage, "Error: The VARNELDIR has not been set. Please reinstall Varnel.");
}

TEST(StartupTest, ArgumentIsResolvedAgainstTheStartingDirectoryBeforeMovingToBin)
{
    TestSupport::EnvGuard env("VARNELDIR");
    TestSupport::DirectoryGuard dir;
    TestSupport::TempDir tmp;
    TestSupport::makeDirs(tmp.file("kit/bin"));
    TestSupport::makeDirs(tmp.file("work"));
    ASSERT_EQ(chdir(tmp.file("work").c_str()), 0);
    const String work = currentDirectory();
    setenv("VARNELDIR", tmp.file("kit").c_str(), 1);

    StartupInfo info;
    ASSERT_TRUE(prepareStartup("../demo/demo.vnp", info, ""));
    EXPECT_EQ(info.root, tmp.file("kit"));
    EXPECT_EQ(info.projectPath, absoluteDirectory(work + "/../") + "demo/demo.vnp");
    EXPECT_EQ(currentDirectory(), std::filesystem::canonical(tmp.file("kit/bin")).string());

    // A project whose name starts with "-" is named through its directory.
    ASSERT_TRUE(prepareStartup("./-x", info, ""));
    EXPECT_EQ(fileNamePart(info.projectPath), "-x");
}

// A root that the configuration's lists would split (";"), that no command
// line can carry in a program's path ('"'), or with control characters is
// refused with a text naming it; every other root is taken as it is.
TEST(StartupTest, RootsTheKitCannotCarryAreRefused)
{
    struct Case {
        const char* root;
        bool refused;
    };
    const Case cases[] = {
        {"/opt/varnel", false},
        {"/opt/My Kits/varnel", false},
        {"/opt/back\\slash", false},
        {"/opt/ünï", false},
        {"/opt/a;b", true},
        {"/opt/a\"b", true},
        {"/opt/new\nline", true},
        {"/opt/tab\there", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.root);
        const String refusal = rootRefusal(c.root);
        EXPECT_EQ(c.refused, !refusal.empty()) << refusal;
        if (c.refused) {
            EXPECT_EQ(refusal, std::string("Error: The VARNELDIR \"") + c.root
                                   + "\" holds a character that the kit's paths cannot carry (a \";\", a \"\"\" or a "
                                     "control character). Please install Varnel in a directory whose path has none "
                                     "of them.");
            TestSupport::EnvGuard env("VARNELDIR");
            TestSupport::DirectoryGuard dir;
            setenv("VARNELDIR", c.root, 1);
            StartupInfo info;
            EXPECT_FALSE(prepareStartup("", info, ""));
            EXPECT_EQ(info.refusal, refusal);
        }
    }
    EXPECT_EQ(rootRefusal(""), MissingRootMessage);
}
