// varbuild-cli build end to end: the demo project built with the kit's own
// stand-in tools in the build tree's installation.

#include "BuildFixture.h"

#include "core/builder/packaging/JavaMePackager.h"
#include "core/profiles/Device.h"
#include "util/Diagnostics.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include <unistd.h>

using BuildTest::zipEntries;
using BuildTest::zipEntry;
using TestSupport::TempDir;
using TestSupport::readFile;
using TestSupport::writeFile;

namespace fs = std::filesystem;

namespace {

const std::string Kit = VARBUILD_KIT_DIR;
const std::string Cli = Kit + "/bin/varbuild-cli";

using CliRun = TestSupport::ProgramRun;

CliRun runCli(const TempDir& tmp, const std::vector<std::string>& args)
{
    return TestSupport::runCli(tmp.path(), Kit, args);
}

class CliBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const std::string& tool : {Cli, Kit + "/bin/xgcc", Kit + "/bin/lintel", Kit + "/bin/cmd"}) {
            if (::access(tool.c_str(), X_OK) != 0)
                FAIL() << tool << " is not built (the test program depends on it)";
        }
        fs::copy(Kit + "/projects/demo", m_tmp.file("demo"), fs::copy_options::recursive);
        m_project = m_tmp.file("demo/demo.vnp");
    }

    // Runtime identifiers of the demo's target devices, from the kit's database.
    std::set<std::string> runtimeIds()
    {
        std::FILE* saved = Brask::diagnosticStream();
        Brask::setDiagnosticStream(nullptr);
        Brask::ProjectManager manager(Kit, nullptr);
        Brask::setDiagnosticStream(saved);
        std::set<std::string> ids;
        if (manager.loadProject(m_project)) {
            for (const Brask::Device* device : manager.getTargetDevices())
                ids.insert(Brask::JavaMePackager::runtimeIdentifier(device->getRuntime()));
        }
        return ids;
    }

    TempDir m_tmp;
    std::string m_project;
};

TEST_F(CliBuild, DemoProjectBuildsIntoJars)
{
    const std::string before = readFile(m_project);
    const std::set<std::string> ids = runtimeIds();
    ASSERT_FALSE(ids.empty());

    const CliRun run = runCli(m_tmp, {"build", m_project});
    ASSERT_EQ(0, run.status) << run.out << run.err;
    const std::string output = m_tmp.file("demo/Output");
    EXPECT_NE(std::string::npos, run.out.find("Running: " + Kit + "/bin/xgcc -g -o " + output + "/main.s "));
    EXPECT_NE(std::string::npos, run.out.find("Running: lintel  -R " + output + "/resources "));
    EXPECT_NE(std::string::npos, run.out.find("\nBuild complete, time: "));
    EXPECT_EQ(std::string::npos, run.out.find("Tool returned error"));
    EXPECT_EQ(before, readFile(m_project)) << "the project file is not rewritten";

    const std::string manifest = "Manifest-Version: 1.0\nMIDlet-Vendor: Kestrane\nMIDlet-Name: demo\n"
                                 "MIDlet-1: demo , demo.png, KVMidlet\nMIDlet-Version: 1.0\n"
                                 "MicroEdition-Configuration: CLDC-1.1\nMicroEdition-Profile: MIDP-2.0\n";
    for (const std::string& id : ids) {
        SCOPED_TRACE(id);
        const std::string jar = output + "/" + id + "/demo.jar";
        const std::vector<std::string> entries = zipEntries(jar);
        for (const char* entry : {"META-INF/MANIFEST.MF", "program", "resources"})
            EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), entry)) << entry;
        EXPECT_EQ(manifest, zipEntry(jar, "META-INF/MANIFEST.MF"));
        EXPECT_EQ(readFile(output + "/program"), zipEntry(jar, "program"));
        EXPECT_TRUE(TestSupport::exists(output + "/" + id + "/devices.txt"));
    }
}

TEST_F(CliBuild, CompileErrorFailsWithTheToolsCode)
{
    writeFile(m_tmp.file("demo/src/util/fixed.c"), "int broken(void) { return }\n");
    const CliRun run = runCli(m_tmp, {"build", m_project});
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.out.find("fixed.c:1:")) << run.out;
    const size_t error = run.out.rfind("Tool returned error: ");
    ASSERT_NE(std::string::npos, error) << run.out;
    EXPECT_NE("0", run.out.substr(error + 20, 1));
    EXPECT_EQ(std::string::npos, run.out.find("Build complete"));
    EXPECT_FALSE(TestSupport::exists(m_tmp.file("demo/Output/program")));
}

TEST_F(CliBuild, UnreadableProjectIsOneLineError)
{
    for (const std::string& path : {m_tmp.file("missing.vnp"), m_tmp.file("demo")}) {
        SCOPED_TRACE(path);
        const CliRun run = runCli(m_tmp, {"build", path});
        EXPECT_EQ(1, run.status);
        EXPECT_EQ("", run.out);
        EXPECT_EQ("varbuild-cli: cannot read project " + path + "\n", run.err);
    }
    const CliRun usage = runCli(m_tmp, {"build"});
    EXPECT_EQ(1, usage.status);
    EXPECT_NE(std::string::npos, usage.err.find("usage: varbuild-cli build [--changed] [-j [N]] [--launcher CMD] PROJECT.vnp"));
}

} // namespace
