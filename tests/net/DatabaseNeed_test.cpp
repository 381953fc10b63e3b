// Which varbuild-cli commands read the profile database: on a kit whose
// definitions.txt cannot be read, those that need no devices still work and
// those that need devices end as a broken database always has.

#include "LoopbackServer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using NetTest::LoopbackServer;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

std::string projectFile(const std::string& configType)
{
    return "<Project name=\"" + configType + "\">\n\t<Configuration>\n\t\t<Property name=\"configType\" value=\""
           + configType + "\"/>\n\t\t<Property name=\"outputPath\" value=\"Output/a.lib\"/>\n"
           "\t\t<Property name=\"ignoreDefaultLibraries\" value=\"true\"/>\n\t</Configuration>\n\t<File path=\"a.c\"/>\n</Project>\n";
}

} // namespace

TEST(DatabaseNeed, CommandsReadTheDatabaseOnlyForDevices)
{
    TempDir dir;
    const std::string root = dir.file("kit");
    // A directory where the file should be: unreadable even for root.
    TestSupport::makeDirs(root + "/profiles/vendors/definitions.txt");
    writeFile(root + "/profiles/vendors/Acme/Rocket/runtime.txt", "profiles\\runtimes\\1\n");
    writeFile(root + "/profiles/version.dat", "3\n");
    writeFile(root + "/bin/version.dat", "7\n");
    writeFile(root + "/bin/config.xml", "<Config version=\"1\">\n\t<Property name=\"PhoneAddress\" value=\"001122334455\"/>\n"
                                        "\t<Property name=\"PhonePort\" value=\"9\"/>\n</Config>\n");
    writeFile(dir.file("p/a.c"), "int main(void) { return 0; }\n");
    writeFile(dir.file("p/lib.vnp"), projectFile("lib"));
    writeFile(dir.file("p/app.vnp"), projectFile("app"));
    writeFile(dir.file("racer.vcproj"), "<VisualStudioProject ProjectType=\"Visual C++\" Version=\"8,00\" "
                                        "Name=\"racer\"><Files><File RelativePath=\"a.c\"/></Files>"
                                        "</VisualStudioProject>\n");
    std::filesystem::create_symlink(VARBUILD_KIT_DIR "/bin/xgcc", root + "/bin/xgcc");
    LoopbackServer server([](const std::string& path) {
        if (path == "/latest/")
            return LoopbackServer::ok("7");
        return LoopbackServer::ok(path == "/currentProfile/index.php?version=3" ? "0" : "");
    });
    const std::vector<std::string> environment{"VARNEL_UPDATE_SERVER=" + server.address(),
                                               "VARBUILD_SDP_SOCKET=" + dir.file("nobody.sock"),
                                               "SENDEL_SOCKET=" + dir.file("nophone.sock"),
                                               "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + dir.file("nobus")};
    const std::string broken = "Couldn't open " + root + "/profiles/vendors/definitions.txt!";

    struct Row {
        std::vector<std::string> args;
        bool needsDevices;
        int status;  // -1: fails for reasons of its own (no phone here)
    };
    const Row rows[] = {
        {{"build", dir.file("p/lib.vnp")}, false, 0},
        {{"build", "--changed", dir.file("p/lib.vnp")}, false, 0},
        {{"import", dir.file("racer.vcproj"), dir.file("racer.vnp")}, false, 0},
        {{"check-release"}, false, 0},
        {{"update"}, false, 0},
        {{"phone", "select", "00:11:22:33:44:55"}, false, -1},
        {{"phone", "list"}, false, -1},
        {{"send", dir.file("p/app.vnp"), "1"}, false, -1},
        {{"build", dir.file("p/app.vnp")}, true, 1},
        {{"targets", dir.file("p/app.vnp")}, true, 1},
        {{"send", dir.file("p/app.vnp")}, true, 1},
    };
    for (const Row& row : rows) {
        std::string command;
        for (const std::string& arg : row.args)
            command += arg + " ";
        const auto run = TestSupport::runCli(dir.path(), root, row.args, environment);
        if (row.status >= 0)
            EXPECT_EQ(run.status, row.status) << command << run.out << run.err;
        else
            EXPECT_NE(run.status, 0) << command;
        EXPECT_EQ(run.err.find(broken) != std::string::npos, row.needsDevices) << command << run.out << run.err;
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("racer.vnp")));
}
