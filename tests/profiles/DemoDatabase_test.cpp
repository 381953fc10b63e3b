// The demo installation's database as the build assembles it.

#include "core/profiles/ProfileDatabase.h"
#include "support/TestSupport.h"
#include "util/PathUtil.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace Brask;
using TestSupport::exists;
using TestSupport::readFile;

namespace {

const std::string KitDir = VARBUILD_KIT_DIR;

bool startsWithBytes(const std::string& data, const std::string& magic)
{
    return data.compare(0, magic.size(), magic) == 0;
}

} // namespace

TEST(DemoDatabase, LoadsWithVendorsDevicesRuntimesAndIcons)
{
    const std::string db = KitDir + "/profiles/vendors";
    ASSERT_TRUE(exists(db + "/definitions.txt")) << "build the kit target first: " << db;

    ProfileDatabase database;
    database.load(db);

    EXPECT_GE(database.getVendors().size(), 4u);
    EXPECT_GE(database.deviceCount(), 20u);
    EXPECT_FALSE(database.getFeatures().empty());
    bool hasBug = false;
    for (const auto& feature : database.getFeatures())
        hasBug = hasBug || startsWith("KV_PROF_BUG", feature.first);
    EXPECT_TRUE(hasBug);
    std::set<std::string> constantNames;
    for (const auto& constant : database.getConstants())
        constantNames.insert(constant.first);
    EXPECT_TRUE(constantNames.count("ScreenSize/X,pixels"));
    EXPECT_TRUE(constantNames.count("ScreenSize/Y,pixels"));

    std::set<std::string> runtimes;
    int withoutScreen = 0;
    int widthOnly = 0;
    for (const auto& vendor : database.getVendors()) {
        SCOPED_TRACE(vendor->getName());
        EXPECT_TRUE(startsWithBytes(readFile(vendor->getIconPath()), "\x89PNG\r\n\x1a\n"));
        for (const auto& device : vendor->getDevices()) {
            SCOPED_TRACE(device->getName());
            const std::string& runtime = device->getRuntime();
            EXPECT_TRUE(startsWith("profiles\\runtimes\\", runtime)) << runtime;
            runtimes.insert(runtime);
            const bool x = device->getConstant("ScreenSize/X,pixels") > 0;
            const bool y = device->getConstant("ScreenSize/Y,pixels") > 0;
            withoutScreen += !x && !y;
            widthOnly += x && !y;
            EXPECT_FALSE(!x && y);
            EXPECT_FALSE(device->getFeatures().empty());

            // Each device is listed by its runtime, whose packaging inputs exist.
            const std::string dir = KitDir + "/" + toSlashes(runtime);
            const std::string listed = readFile(dir + "/devices.txt");
            EXPECT_NE(listed.find(vendor->getName() + "/" + device->getName() + "\n"), std::string::npos);
            EXPECT_TRUE(exists(dir + "/config.h"));
            EXPECT_TRUE(startsWithBytes(readFile(dir + "/VarnelRuntime.jar"), "PK\x03\x04")) << dir;
        }
    }
    EXPECT_GE(runtimes.size(), 3u);
    EXPECT_EQ(withoutScreen, 1);
    EXPECT_EQ(widthOnly, 1);
}
