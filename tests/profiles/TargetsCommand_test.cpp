// varbuild-cli targets, run as a program against installations the tests write.

#include "ProfileFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

using ProfileFixtures::writeDevice;
using TestSupport::TempDir;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace {

using CliRun = TestSupport::ProgramRun;

CliRun runCli(const TempDir& tmp, const std::string& root, const std::vector<std::string>& args)
{
    return TestSupport::runCli(tmp.path(), root, args);
}

void writeInstallation(const std::string& root)
{
    const std::string db = root + "/profiles/vendors";
    writeFile(db + "/definitions.txt",
              "KV_PROF_SUPPORT_CLI_CAM,Camera\nKV_PROF_CONST_CLI_X,ScreenSize/X,pixels\n");
    writeDevice(db, "Zeta", "Z1", "profiles\\runtimes\\2\n", "#define KV_PROF_SUPPORT_CLI_CAM\n#define KV_PROF_CONST_CLI_X 240\n");
    writeDevice(db, "Alpha", "Small", "profiles\\runtimes\\1\r\n", "#define KV_PROF_SUPPORT_CLI_CAM\n#define KV_PROF_CONST_CLI_X 128\n");
    writeDevice(db, "Alpha", "Big", "profiles\\runtimes\\3\n", "#define KV_PROF_SUPPORT_CLI_CAM\n#define KV_PROF_CONST_CLI_X 176\n");
    writeDevice(db, "Alpha", "NoCam", "profiles\\runtimes\\3\n", "#define KV_PROF_CONST_CLI_X 176\n");
}

} // namespace

TEST(TargetsCommand, PrintsSelectedDevicesInTargetOrder)
{
    TempDir tmp;
    const std::string root = tmp.file("kit");
    writeInstallation(root);
    const std::string project = tmp.file("game/game.vnp");
    writeFile(project, "<Project name=\"game\">\n\t<Criteria>\n\t\t<Has feature=\"Camera\"/>\n"
                       "\t\t<Constant op=\"GT\" name=\"ScreenSize/X,pixels\" value=\"128\" allowUndefined=\"false\"/>\n"
                       "\t</Criteria>\n</Project>\n");

    const CliRun run = runCli(tmp, root, {"targets", project});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Alpha\tBig\tprofiles\\runtimes\\3\nZeta\tZ1\tprofiles\\runtimes\\2\n");

    writeFile(project, "<Project name=\"all\"/>");
    EXPECT_EQ(runCli(tmp, root, {"targets", project}).out,
              "Alpha\tBig\tprofiles\\runtimes\\3\nAlpha\tNoCam\tprofiles\\runtimes\\3\n"
              "Alpha\tSmall\tprofiles\\runtimes\\1\nZeta\tZ1\tprofiles\\runtimes\\2\n");
}

TEST(TargetsCommand, FailuresExitWithStatusOne)
{
    TempDir tmp;
    const std::string root = tmp.file("kit");
    writeInstallation(root);

    const CliRun missing = runCli(tmp, root, {"targets", tmp.file("nope.vnp")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_NE(missing.err.find("nope.vnp"), std::string::npos) << missing.err;

    EXPECT_EQ(runCli(tmp, root, {"targets"}).status, 1);
    EXPECT_EQ(runCli(tmp, "", {"targets", tmp.file("nope.vnp")}).status, 1);

    const std::string broken = tmp.file("broken");
    TestSupport::makeDirs(broken + "/profiles/vendors");
    writeFile(tmp.file("p.vnp"), "<Project name=\"p\"/>");
    const CliRun fatal = runCli(tmp, broken, {"targets", tmp.file("p.vnp")});
    EXPECT_EQ(fatal.status, 1);
    EXPECT_EQ(fatal.out, "");
    EXPECT_NE(fatal.err.find("Couldn't open " + broken + "/profiles/vendors/definitions.txt!\n"), std::string::npos)
        << fatal.err;
}
