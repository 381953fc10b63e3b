// The package map on the demo database, against hand-made expectations.

#include "core/ProjectManager.h"
#include "core/profiles/Device.h"
#include "core/builder/packaging/PackageMap.h"
#include "core/profiles/Vendor.h"
#include "support/TestSupport.h"
#include "util/Diagnostics.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace Brask;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace fs = std::filesystem;

namespace {

const std::string KitDir = VARBUILD_KIT_DIR;

std::vector<std::string> names(const Vector<const Device*>& devices)
{
    std::vector<std::string> out;
    for (const Device* device : devices)
        out.push_back((device->getVendor() ? device->getVendor()->getName() : "?") + "/" + device->getName());
    return out;
}

// A project file in a temporary directory over the demo database (or a copy
// of it that the test changes first).
class DemoMap : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestSupport::exists(KitDir + "/profiles/vendors/definitions.txt")) << "build the kit target";
        m_root = KitDir;
    }

    // Copies the demo database into a private installation and returns its
    // vendors directory, to be changed before open().
    std::string privateDatabase()
    {
        m_root = m_tmp.file("kit");
        TestSupport::makeMinimalInstallation(m_root);
        fs::remove_all(m_root + "/profiles");
        fs::copy(KitDir + "/profiles", m_root + "/profiles", fs::copy_options::recursive);
        return m_root + "/profiles/vendors";
    }

    PackageMap open(const std::string& body)
    {
        const std::string path = m_tmp.file("game/game.vnp");
        writeFile(path, "<Project name=\"game\">" + body + "</Project>\n");
        std::FILE* saved = diagnosticStream();
        setDiagnosticStream(nullptr);
        m_manager = std::make_unique<ProjectManager>(m_root, nullptr);
        setDiagnosticStream(saved);
        EXPECT_TRUE(m_manager->loadProject(path));
        return buildPackageMap(*m_manager);
    }

    std::string output() const { return m_tmp.path() + "/game/Output"; }

    TempDir m_tmp;
    std::string m_root;
    std::unique_ptr<ProjectManager> m_manager;
};

} // namespace

TEST_F(DemoMap, SharedRuntimesGiveOneJarEachInByteOrder)
{
    const PackageMap map = open("<Criteria><Has feature=\"Bluetooth\"/></Criteria>");
    EXPECT_FALSE(map.symbian);
    ASSERT_EQ(map.packages.size(), 2u);

    EXPECT_EQ(map.packages[0].runtime, "profiles\\runtimes\\2");
    EXPECT_EQ(map.packages[0].identifier, "2");
    EXPECT_EQ(map.packages[0].jarPath, output() + "/2/game.jar");
    EXPECT_EQ(names(map.packages[0].devices),
              (std::vector<std::string>{"Aldaro/A300", "Brisken/Nimbus", "Quessa/Q5", "Quessa/Q5i", "Tamrin/T-Plus",
                                        "Vellomar/V10"}));

    EXPECT_EQ(map.packages[1].runtime, "profiles\\runtimes\\3");
    EXPECT_EQ(map.packages[1].jarPath, output() + "/3/game.jar");
    EXPECT_EQ(names(map.packages[1].devices),
              (std::vector<std::string>{"Aldaro/A350-Pro", "Brisken/Nimbus-T", "Brisken/Orbit", "Tamrin/T-Slide",
                                        "Vellomar/V12", "Vellomar/V20"}));
    EXPECT_EQ(map.targets.size(), 12u);

    // Each target finds its own package; a device that is not a target none.
    const ProfileDatabase& db = m_manager->getProfileDatabase();
    EXPECT_EQ(map.packagePathFor(db.findDevice("Quessa", "Q5i")), output() + "/2/game.jar");
    EXPECT_EQ(map.packageFor(db.findDevice("Vellomar", "V20")), &map.packages[1]);
    EXPECT_EQ(map.packageFor(db.findDevice("Quessa", "Q1")), nullptr);
    EXPECT_EQ(map.packagePathFor(db.findDevice("Quessa", "Q1")), "");
    EXPECT_EQ(map.packagePathFor(nullptr), "");
}

TEST_F(DemoMap, NoCriteriaPackageEveryRuntimeAndNoTargetsNone)
{
    PackageMap map = open("");
    ASSERT_EQ(map.packages.size(), 3u);
    EXPECT_EQ(map.packages[0].identifier, "1");
    EXPECT_EQ(map.packages[1].identifier, "2");
    EXPECT_EQ(map.packages[2].identifier, "3");
    size_t listed = 0;
    for (const RuntimePackage& package : map.packages)
        listed += package.devices.size();
    EXPECT_EQ(listed, 22u);
    EXPECT_EQ(map.targets.size(), 22u);

    map = open("<Criteria><Device is=\"Nowhere\"/></Criteria>");
    EXPECT_TRUE(map.packages.empty());
    EXPECT_TRUE(map.targets.empty());
    EXPECT_FALSE(map.symbian);
}

TEST_F(DemoMap, EmptyRuntimeLandsDirectlyInOutput)
{
    const std::string db = privateDatabase();
    writeFile(db + "/Quessa/Q1/runtime.txt", "");
    const PackageMap map = open("<Criteria><Vendor is=\"Quessa\"/></Criteria>");
    ASSERT_EQ(map.packages.size(), 3u);
    EXPECT_EQ(map.packages[0].runtime, "");
    EXPECT_EQ(map.packages[0].identifier, "");
    // As the build forms it: OutputDir, separator, empty identifier, separator.
    EXPECT_EQ(map.packages[0].jarPath, output() + "//game.jar");
    EXPECT_EQ(names(map.packages[0].devices), (std::vector<std::string>{"Quessa/Q1"}));
    EXPECT_EQ(names(map.packages[1].devices), (std::vector<std::string>{"Quessa/Q3"}));
    EXPECT_EQ(names(map.packages[2].devices), (std::vector<std::string>{"Quessa/Q5", "Quessa/Q5i"}));
}

TEST_F(DemoMap, SymbianProjectMakesTheSisAndNoJar)
{
    const char* const configuration = "<Configuration><Property name=\"S60v3UID\" value=\"%s\"/></Configuration>";
    char body[256];
    std::snprintf(body, sizeof body, configuration, "0x2000abCD");
    PackageMap map = open(std::string(body) + "<Criteria><Has feature=\"Touch screen\"/></Criteria>");
    EXPECT_TRUE(map.symbian);
    EXPECT_TRUE(map.uidValid);
    EXPECT_EQ(map.uid, "0x2000abCD");
    EXPECT_EQ(map.sisPath, m_tmp.path() + "/game/so/game.sis");
    EXPECT_TRUE(map.packages.empty());
    EXPECT_EQ(names(map.targets), (std::vector<std::string>{"Brisken/Nimbus-T", "Vellomar/V12", "Vellomar/V20"}));
    const ProfileDatabase& db = m_manager->getProfileDatabase();
    EXPECT_EQ(map.packagePathFor(db.findDevice("Vellomar", "V12")), map.sisPath);
    EXPECT_EQ(map.packageFor(db.findDevice("Vellomar", "V12")), nullptr);
    EXPECT_EQ(map.packagePathFor(db.findDevice("Vellomar", "V10")), "");

    std::snprintf(body, sizeof body, configuration, "0X2000ABCD");
    map = open(body);
    EXPECT_TRUE(map.symbian);
    EXPECT_FALSE(map.uidValid);
    EXPECT_TRUE(map.packages.empty());
}
