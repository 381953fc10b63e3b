#include "ProfileFixtures.h"

#include "core/profiles/DeviceRef.h"
#include "core/profiles/ProfileDatabase.h"
#include "core/profiles/ProfileDefinitions.h"
#include "util/Diagnostics.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace Brask;
using ProfileFixtures::writeDevice;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

std::vector<std::string> vendorNames(const ProfileDatabase& db)
{
    std::vector<std::string> names;
    for (const auto& v : db.getVendors())
        names.push_back(v->getName());
    return names;
}

std::vector<std::string> deviceNames(const Vendor& vendor)
{
    std::vector<std::string> names;
    for (const auto& d : vendor.getDevices())
        names.push_back(d->getName());
    return names;
}

// The path as a literal part of a death-test pattern.
std::string literal(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos)
            out += '\\';
        out += c;
    }
    return out;
}

} // namespace

TEST(ProfileDatabase, WalksVendorsAndDevicesInByteOrderSkippingDotDirectoriesAndFiles)
{
    TempDir tmp;
    const std::string db = tmp.file("vendors");
    writeFile(db + "/definitions.txt", "KV_PROF_SUPPORT_WALK,Walk\n");
    writeDevice(db, "beta", "z1", "r\n", nullptr);
    writeDevice(db, "beta", "A2", "r\n", nullptr);
    writeDevice(db, "beta", ".svn", "r\n", nullptr);
    writeDevice(db, "Alpha", "d", "r\n", nullptr);
    writeDevice(db, ".git", "hidden", "r\n", nullptr);
    TestSupport::makeDirs(db + "/Empty");
    writeFile(db + "/.hiddenfile", "x");
    writeFile(db + "/beta/icon.png", "png");
    writeFile(db + "/beta/notes.txt", "not a device");
    writeFile(db + "/beta/z1/extra/runtime.txt", "too deep");

    ProfileDatabase database;
    database.load(db);

    // Byte order: upper case before lower case; definitions.txt is no vendor.
    EXPECT_EQ(vendorNames(database), (std::vector<std::string>{"Alpha", "Empty", "beta"}));
    const Vendor& beta = *database.getVendors()[2];
    EXPECT_EQ(deviceNames(beta), (std::vector<std::string>{"A2", "z1"}));
    EXPECT_TRUE(database.getVendors()[1]->getDevices().empty());
    EXPECT_EQ(beta.getIconPath(), db + "/beta/icon.png");
    EXPECT_EQ(beta.getDevices()[0]->getVendor(), &beta);
    EXPECT_EQ(database.deviceCount(), 3u);
}

TEST(ProfileDatabase, FollowsSymlinkedDirectoriesWithoutLooping)
{
    TempDir tmp;
    const std::string db = tmp.file("vendors");
    writeFile(db + "/definitions.txt", "");
    writeDevice(tmp.path(), "elsewhere", "Dev", "r\n", nullptr);
    std::filesystem::create_directory_symlink(tmp.file("elsewhere"), db + "/Linked");
    // Loops: below a device (never visited), a link to itself, a dangling link.
    std::filesystem::create_directory_symlink(db, db + "/Linked/Dev/loop");
    std::filesystem::create_symlink(db + "/Self", db + "/Self");
    std::filesystem::create_symlink(db + "/missing", db + "/Dangling");

    ProfileDatabase database;
    database.load(db);
    EXPECT_EQ(vendorNames(database), (std::vector<std::string>{"Linked"}));
    EXPECT_EQ(deviceNames(*database.getVendors()[0]), (std::vector<std::string>{"Dev"}));
}

TEST(ProfileDatabase, ReadsDefinitionsIntoFeatureAndConstantLists)
{
    TempDir tmp;
    const std::string db = tmp.file("vendors");
    writeFile(db + "/definitions.txt",
              "KV_PROF_SUPPORT_DEF_A,Feature A\n"
              "KV_PROF_CONST_DEF_X,ScreenSize/X,pixels\r\n"
              "KV_PROF_BUG_DEF_B,Bug/B, with comma\n"
              "\n"
              "NOT_A_CONSTANT,Odd one\n"
              "KV_PROF_SUPPORT_DEF_NOCOMMA\n"
              "KV_PROF_CONST_DEF_LAST,Last,kb");

    ProfileDatabase database;
    database.load(db);

    using Pair = std::pair<std::string, std::string>;
    EXPECT_EQ(database.getFeatures(), (std::vector<Pair>{{"KV_PROF_SUPPORT_DEF_A", "Feature A"},
                                                          {"KV_PROF_BUG_DEF_B", "Bug/B, with comma"},
                                                          {"KV_PROF_SUPPORT_DEF_NOCOMMA", ""}}));
    EXPECT_EQ(database.getConstants(), (std::vector<Pair>{{"ScreenSize/X,pixels", "kb"},
                                                           {"Odd one", "kb"},
                                                           {"Last,kb", "kb"}}));
    ProfileDefinitions& defs = ProfileDefinitions::instance();
    EXPECT_EQ(defs.lookup("KV_PROF_CONST_DEF_X"), "ScreenSize/X,pixels");
    EXPECT_EQ(defs.lookup("KV_PROF_CONST_DEF_LAST"), "Last,kb");
}

TEST(ProfileDatabase, ParsesProfileLinesByPrefix)
{
    TempDir tmp;
    const std::string db = tmp.file("vendors");
    writeFile(db + "/definitions.txt",
              "KV_PROF_SUPPORT_P_BT,Bluetooth\n"
              "KV_PROF_BUG_P_FILL,Bug/Slow fill\n"
              "KV_PROF_CONST_P_X,ScreenSize/X,pixels\n"
              "KV_PROF_CONST_P_HEX,Hex\n"
              "KV_PROF_CONST_P_NEG,Negative\n"
              "KV_PROF_CONST_P_M1,Minus one\n"
              "KV_PROF_CONST_P_NONE,No value\n"
              "KV_PROF_CONST_P_BIG,Big\n"
              "KV_PROF_CONST_P_DUP,Same name\n"
              "KV_PROF_CONST_P_DUP2,Same name\n"
              "KV_PROF_SUPPORT_P_IGNORED,Ignored\n");
    writeDevice(db, "V", "D", "profiles\\runtimes\\1\r\nsecond line\n",
                "/* #define KV_PROF_SUPPORT_P_IGNORED */\n"
                "#ifndef KV_PROFILE_H\n"
                "#define KV_PROFILE_H\n"
                "#define KV_PROF_SUPPORT_P_BT\n"
                "  #define KV_PROF_SUPPORT_P_IGNORED\n"
                "// #define KV_PROF_SUPPORT_P_IGNORED\n"
                "#defineKV_PROF_SUPPORT_P_IGNORED\n"
                "#define\n"
                "#define \t \r\n"
                "#include \"KV_PROF_SUPPORT_P_IGNORED.h\"\n"
                "#define\tKV_PROF_BUG_P_FILL 1\r\n"
                "#define KV_PROF_CONST_P_X   176 /* pixels */\n"
                "#define KV_PROF_CONST_P_HEX 0x20\n"
                "#define KV_PROF_CONST_P_NEG -5\n"
                "#define KV_PROF_CONST_P_M1 -1\n"
                "#define KV_PROF_CONST_P_NONE\n"
                "#define KV_PROF_CONST_P_BIG 99999999999\n"
                "#define KV_PROF_CONST_P_DUP 7\n"
                "#define KV_PROF_CONST_P_DUP2 8\n"
                "#define KV_PROF_SUPPORT_P_BT\n"
                "#define KV_PROF_SUPPORT_P_UNLISTED_4711\n"
                "#endif");

    ProfileDatabase database;
    database.load(db);
    const Device& d = *database.findDevice("V", "D");

    EXPECT_EQ(d.getRuntime(), "profiles\\runtimes\\1");
    // Bugs share the feature list; duplicates are kept; an unlisted macro has
    // the empty display name.
    EXPECT_EQ(d.getFeatures(), (std::vector<std::string>{"Bluetooth", "Bug/Slow fill", "Bluetooth", ""}));
    EXPECT_TRUE(d.hasFeature("Bug/Slow fill"));
    EXPECT_FALSE(d.hasFeature("Ignored"));
    EXPECT_FALSE(d.hasFeature("bluetooth"));

    struct Row {
        const char* name;
        int value;
    };
    const Row rows[] = {
        {"ScreenSize/X,pixels", 176}, {"Hex", 0}, {"Negative", -5}, {"Minus one", -1},
        {"No value", 0},              {"Big", INT_MAX}, {"Same name", 7}, {"Absent", -1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(d.getConstant(row.name), row.value) << row.name;
    EXPECT_EQ(d.getConstants().size(), 8u);
}

TEST(ProfileDatabase, SurvivesLongLinesJunkAndEmptyFiles)
{
    TempDir tmp;
    const std::string db = tmp.file("vendors");
    const std::string longName = "KV_PROF_SUPPORT_LONG_" + std::string(400, 'x');
    writeFile(db + "/definitions.txt", longName + "," + std::string(300, 'y') + "\n" + std::string("\x01\xff,\0zz\n", 7));
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 7919) % 256);
    writeDevice(db, "V", "Junk", junk, nullptr);
    writeFile(db + "/V/Junk/profile.h", junk);
    writeDevice(db, "V", "Long", "", ("#define " + longName + "\n#define KV_PROF_CONST_LONGV " + std::string(500, '9')).c_str());
    writeDevice(db, "V", "Nul", std::string("abc\0def\n", 8), nullptr);

    ProfileDatabase database;
    database.load(db);

    EXPECT_EQ(database.deviceCount(), 3u);
    const Device* longDevice = database.findDevice("V", "Long");
    ASSERT_NE(longDevice, nullptr);
    EXPECT_EQ(longDevice->getRuntime(), "");
    EXPECT_TRUE(longDevice->hasFeature(std::string(300, 'y')));
    EXPECT_EQ(longDevice->getConstants().at(0)->getValue(), INT_MAX);
    EXPECT_EQ(database.findDevice("V", "Nul")->getRuntime(), "abc");
}

TEST(ProfileDatabase, DefinitionsSurviveAReloadThatDropsThem)
{
    TempDir tmp;
    const std::string db = tmp.file("vendors");
    writeFile(db + "/definitions.txt", "KV_PROF_SUPPORT_KEEP_ME,Kept name\nKV_PROF_CONST_KEEP_C,Kept constant\n");
    writeDevice(db, "V", "D", "r", "#define KV_PROF_SUPPORT_KEEP_ME\n#define KV_PROF_CONST_KEEP_C 9\n");

    ProfileDatabase database;
    database.load(db);
    const unsigned first = database.generation();
    EXPECT_EQ(database.getFeatures().size(), 1u);

    writeFile(db + "/definitions.txt", "KV_PROF_SUPPORT_OTHER_ONE,Other\n");
    database.load(db);
    EXPECT_GT(database.generation(), first);
    const Device& d = *database.findDevice("V", "D");
    EXPECT_TRUE(d.hasFeature("Kept name"));
    EXPECT_EQ(d.getConstant("Kept constant"), 9);
    // The lists offered for new criteria follow the current file only.
    ASSERT_EQ(database.getFeatures().size(), 1u);
    EXPECT_EQ(database.getFeatures()[0].second, "Other");
    EXPECT_TRUE(database.getConstants().empty());
}

TEST(ProfileDatabase, ReloadMakesDeviceRefsStaleUntilResolved)
{
    TempDir tmp;
    const std::string db = tmp.file("vendors");
    writeFile(db + "/definitions.txt", "");
    writeDevice(db, "V", "D", "one", nullptr);
    writeDevice(db, "V", "Gone", "two", nullptr);

    ProfileDatabase database;
    database.load(db);
    DeviceRef ref(database, database.findDevice("V", "D"));
    DeviceRef gone(database, database.findDevice("V", "Gone"));
    ASSERT_NE(ref.get(), nullptr);
    EXPECT_FALSE(ref.isStale());

    std::filesystem::remove_all(db + "/V/Gone");
    writeFile(db + "/V/D/runtime.txt", "changed");
    database.load(db);

    EXPECT_TRUE(ref.isStale());
    EXPECT_EQ(ref.get(), nullptr);
    const Device* again = ref.resolve();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->getRuntime(), "changed");
    EXPECT_EQ(ref.get(), again);
    EXPECT_EQ(gone.resolve(), nullptr);
    EXPECT_EQ(gone.get(), nullptr);
}

TEST(ProfileDatabaseDeathTest, MissingDefinitionsEndsTheProcess)
{
    TempDir tmp;
    const std::string db = tmp.file("vendors");
    TestSupport::makeDirs(db);
    EXPECT_EXIT(
        {
            setDiagnosticStream(stderr);
            ProfileDatabase database;
            database.load(db);
        },
        testing::ExitedWithCode(1), "^Couldn't open " + literal(db + "/definitions.txt") + "!\n$");
}

TEST(ProfileDatabaseDeathTest, DeviceWithoutRuntimeEndsTheProcess)
{
    TempDir tmp;
    const std::string db = tmp.file("vendors");
    writeFile(db + "/definitions.txt", "");
    writeDevice(db, "V", "A", "fine", nullptr);
    TestSupport::makeDirs(db + "/V/B");
    EXPECT_EXIT(
        {
            setDiagnosticStream(stderr);
            ProfileDatabase database;
            database.load(db);
        },
        testing::ExitedWithCode(1), "^Error, " + literal(db + "/V/B/runtime.txt") + " could not be opened\\.\n$");
}
