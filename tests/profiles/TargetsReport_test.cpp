// varbuild-cli targets --packages and --why, run as a program on the demo
// installation of the build tree.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

using TestSupport::TempDir;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace fs = std::filesystem;

namespace {

const std::string Kit = VARBUILD_KIT_DIR;

class TargetsReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestSupport::exists(Kit + "/bin/varbuild-cli")) << "the test program depends on it";
        fs::copy(Kit + "/projects/demo", m_tmp.file("demo"), fs::copy_options::recursive);
        m_project = m_tmp.file("demo/demo.vnp");
        m_original = readFile(m_project);
    }

    // The demo project with `criteria` (and `configuration` properties).
    void setCriteria(const std::string& criteria, const std::string& property = "")
    {
        std::string text = m_original;
        const std::string empty = "<Criteria>\n\t</Criteria>";
        ASSERT_NE(text.find(empty), std::string::npos);
        text.replace(text.find(empty), empty.size(), "<Criteria>" + criteria + "</Criteria>");
        if (!property.empty())
            text.replace(text.find("</Configuration>"), 0, property);
        writeFile(m_project, text);
    }

    TestSupport::ProgramRun run(const std::vector<std::string>& args)
    {
        return TestSupport::runCli(m_tmp.path(), Kit, args);
    }

    std::string output() const { return m_tmp.path() + "/demo/Output"; }

    TempDir m_tmp;
    std::string m_project;
    std::string m_original;
};

} // namespace

TEST_F(TargetsReport, PackagesListsEachJarWithItsDevicesInPackagingOrder)
{
    setCriteria("<Has feature=\"Touch screen\"/><Lacks feature=\"Bug/Sound starts late\"/>");
    const auto result = run({"targets", "--packages", m_project});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "JAR " + output() + "/3/demo.jar (runtime profiles\\runtimes\\3, 1 device)\n"
                          "\tVellomar\tV12\n"
                          "Total: 1 device, 1 JAR\n");

    setCriteria("<Vendor is=\"Quessa\"/>");
    EXPECT_EQ(run({"targets", "--packages", m_project}).out,
              "JAR " + output() + "/1/demo.jar (runtime profiles\\runtimes\\1, 2 devices)\n"
              "\tQuessa\tQ1\n\tQuessa\tQ3\n"
              "JAR " + output() + "/2/demo.jar (runtime profiles\\runtimes\\2, 2 devices)\n"
              "\tQuessa\tQ5\n\tQuessa\tQ5i\n"
              "Total: 4 devices, 2 JARs\n");

    setCriteria("<Has feature=\"Camera\"/><Lacks feature=\"Camera\"/>");
    EXPECT_EQ(run({"targets", "--packages", m_project}).out,
              "No JAR is made: no device meets the criteria.\nTotal: 0 devices, 0 JARs\n");

    setCriteria("<Has feature=\"Touch screen\"/>",
                "<Property name=\"S60v3UID\" value=\"0xE0001234\"/>");
    EXPECT_EQ(run({"targets", "--packages", m_project}).out,
              "SIS " + m_tmp.path() + "/demo/so/demo.sis (Symbian UID 0xE0001234)\n"
              "No JAR is made: the project has a Symbian UID.\n"
              "Total: 3 devices meet the criteria\n");
}

TEST_F(TargetsReport, TheListedJarsAreTheOnesTheBuildMakes)
{
    setCriteria("<Constant op=\"GT\" name=\"ScreenSize/X,pixels\" value=\"128\" allowUndefined=\"false\"/>");
    const auto packages = run({"targets", "--packages", m_project});
    ASSERT_EQ(packages.status, 0) << packages.err;
    const auto build = run({"build", m_project});
    ASSERT_EQ(build.status, 0) << build.out << build.err;

    std::istringstream lines(packages.out);
    std::string line;
    std::vector<std::string> jars;
    while (std::getline(lines, line)) {
        if (line.rfind("JAR ", 0) == 0)
            jars.push_back(line.substr(4, line.find(" (runtime ") - 4));
    }
    EXPECT_EQ(jars, (std::vector<std::string>{output() + "/2/demo.jar", output() + "/3/demo.jar"}));
    for (const std::string& jar : jars)
        EXPECT_TRUE(TestSupport::exists(jar)) << jar;
    EXPECT_FALSE(TestSupport::exists(output() + "/1/demo.jar"));
}

TEST_F(TargetsReport, WhyNamesTheFirstRejectingCriterionOrThePackage)
{
    setCriteria("<Has feature=\"Bluetooth\"/>"
                "<Constant op=\"GT\" name=\"ScreenSize/X,pixels\" value=\"128\" allowUndefined=\"false\"/>");
    struct Row {
        const char* vendor;
        const char* device;
        std::string out;
    } rows[] = {
        {"Aldaro", "A100",
         "Aldaro A100 is not a target: \"Required feature: Bluetooth\" (criterion 1 of 2) rejects it: its feature "
         "list does not hold \"Bluetooth\"\n"},
        {"Quessa", "Q5", "Quessa Q5 is a target: it gets " + output() + "/2/demo.jar (runtime profiles\\runtimes\\2)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.device);
        const auto result = run({"targets", "--why", row.vendor, row.device, m_project});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, row.out);
    }

    setCriteria("<Constant op=\"GT\" name=\"ScreenSize/Y,pixels\" value=\"100\" allowUndefined=\"false\"/>");
    EXPECT_EQ(run({"targets", "--why", "Quessa", "Q1", m_project}).out,
              "Quessa Q1 is not a target: \"ScreenSize/Y,pixels > 100\" (criterion 1 of 1) rejects it: it has no "
              "\"ScreenSize/Y,pixels\" and undefined values are not allowed\n");

    setCriteria("", "<Property name=\"S60v3UID\" value=\"0x2000ABCD\"/>");
    EXPECT_EQ(run({"targets", "--why", "Quessa", "Q1", m_project}).out,
              "Quessa Q1 is a target: it gets the SIS " + m_tmp.path() + "/demo/so/demo.sis\n");

    setCriteria("", "<Property name=\"S60v3UID\" value=\"0x2000ABC\"/>");
    EXPECT_EQ(run({"targets", "--why", "Quessa", "Q1", m_project}).out,
              "Quessa Q1 is a target: it gets the SIS " + m_tmp.path()
                  + "/demo/so/demo.sis (but the build stops at \"Bad UID\")\n");
    EXPECT_EQ(run({"targets", "--packages", m_project}).out,
              "SIS " + m_tmp.path() + "/demo/so/demo.sis (Symbian UID 0x2000ABC)\n"
              "No JAR is made: the project has a Symbian UID.\n"
              "The build stops at \"Bad UID\": the UID must be 0x and eight hexadecimal digits.\n"
              "Total: 22 devices meet the criteria\n");
}

TEST_F(TargetsReport, FailuresExitWithStatusOne)
{
    struct Row {
        std::vector<std::string> args;
        std::string err;
    } rows[] = {
        {{"targets", "--packages"}, "usage: varbuild-cli targets --packages PROJECT.vnp"},
        {{"targets", "--why", "Quessa", m_project}, "usage: varbuild-cli targets --why VENDOR DEVICE PROJECT.vnp"},
        {{"targets", "--why", "Quessa", "Q9", m_project}, "no device \"Q9\" of vendor \"Quessa\""},
        {{"targets", "--packages", m_tmp.file("missing.vnp")}, "cannot read project " + m_tmp.file("missing.vnp")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.err);
        const auto result = run(row.args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
    }

    // A project cut off inside its criteria would be judged by half of them.
    writeFile(m_project, "<Project name=\"demo\"><Criteria><Has feature=\"Camera\"/><Has");
    const auto damaged = run({"targets", "--why", "Quessa", "Q1", m_project});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_EQ(damaged.out, "");
    EXPECT_NE(damaged.err.find("damaged"), std::string::npos) << damaged.err;
}
