#include "core/config/Config.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace Brask;
using TestSupport::CapturedDiagnostics;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

std::unique_ptr<Config> read(const std::string& path, const std::string& root = "/kit")
{
    CapturedDiagnostics diag;
    return ConfigParser(path, root).takeConfig();
}

std::vector<std::string> extensions(const Config& c)
{
    std::vector<std::string> out;
    for (const FileType& t : c.fileTypes)
        out.push_back(t.extension);
    return out;
}

} // namespace

TEST(ConfigTest, MissingOrEmptyFileGivesAllDefaults)
{
    TempDir tmp;
    writeFile(tmp.file("empty.xml"), "");
    for (const std::string& path : {tmp.file("missing.xml"), tmp.file("empty.xml")}) {
        auto c = read(path);
        ASSERT_NE(c, nullptr) << path;
        EXPECT_EQ(c->includeDirectories, (Vector<String>{"/kit/include"}));
        EXPECT_EQ(c->libraryDirectories, (Vector<String>{"/kit/lib/pipe"}));
        EXPECT_EQ(c->defaultLibraries, (Vector<String>{"KVStd.lib"}));
        EXPECT_EQ(extensions(*c), (std::vector<std::string>{"cpp", "c", "h", "s", "lst", "*profile"}));
        EXPECT_EQ(c->fileTypes[0].cmdLine, "/kit/bin/editor -n%line %file");
        EXPECT_EQ(c->fileTypes[5].cmdLine, "xdg-open %file");
        EXPECT_EQ(c->phoneAddress, "");
        EXPECT_EQ(c->phonePort, -1);
        EXPECT_TRUE(c->autoUpdates);
    }
}

TEST(ConfigTest, EditorDefaultKeepsARootWithBlanksTogether)
{
    EXPECT_EQ(defaultEditorCommand("/opt/kit"), "/opt/kit/bin/editor -n%line %file");
    EXPECT_EQ(defaultEditorCommand("/opt/My Kit"), "\"/opt/My Kit/bin/editor\" -n%line %file");
}

TEST(ConfigTest, WriterLayoutIsExact)
{
    Config c;
    c.includeDirectories = {"/kit/include", "/opt/inc"};
    c.libraryDirectories = {"/kit/lib/pipe"};
    c.defaultLibraries = {"KVStd.lib"};
    c.fileTypes = {{"cpp", "ed \"%file\""}, {"*profile", "view %file"}};
    c.phoneAddress = "0012ab34cd56";
    c.phonePort = 9;
    c.autoUpdates = false;
    EXPECT_EQ(c.toText(),
              "<Config version=\"1\">\n"
              "<Filetype extension=\"cpp\" cmdLine=\"ed &quot;%file&quot;\"/>\n"
              "<Filetype extension=\"*profile\" cmdLine=\"view %file\"/>\n"
              "\t<Property name=\"IncludeDirectories\" value=\"/kit/include;/opt/inc\"/>\n"
              "\t<Property name=\"LibraryDirectories\" value=\"/kit/lib/pipe\"/>\n"
              "\t<Property name=\"DefaultLibraries\" value=\"KVStd.lib\"/>\n"
              "\t<Property name=\"PhoneAddress\" value=\"0012ab34cd56\"/>\n"
              "\t<Property name=\"PhonePort\" value=\"9\"/>\n"
              "\t<Property name=\"autoUpdates\" value=\"false\"/>\n"
              "</Config>");
}

TEST(ConfigTest, RoundTripKeepsValuesWithReservedCharacters)
{
    TempDir tmp;
    Config c = *read(tmp.file("none.xml"));
    c.fileTypes[0].cmdLine = "ed \"%file\" && x < y";
    c.includeDirectories = {"a", "", "b&c"};
    c.phonePort = 3;
    ASSERT_TRUE(c.write(tmp.file("config.xml")));
    auto back = read(tmp.file("config.xml"));
    EXPECT_EQ(back->fileTypes[0].cmdLine, "ed \"%file\" && x < y");
    EXPECT_EQ(back->includeDirectories, c.includeDirectories);
    EXPECT_EQ(back->phonePort, 3);
    EXPECT_EQ(extensions(*back), extensions(c));
    EXPECT_EQ(back->toText(), c.toText());
}

TEST(ConfigTest, FileTypesFromTheFileComeFirstAndSuppressDefaultsCaseInsensitively)
{
    TempDir tmp;
    writeFile(tmp.file("c.xml"),
              "<Config version=\"1\">\n"
              "<Filetype extension=\"CPP\" cmdLine=\"a\"/>\n"
              "<Filetype extension=\"txt\" cmdLine=\"b\"/>\n"
              "<Filetype extension=\"cpp\" cmdLine=\"dup\"/>\n"
              "<Filetype extension=\"*PROFILE\" cmdLine=\"p\"/>\n"
              "</Config>");
    auto c = read(tmp.file("c.xml"));
    EXPECT_EQ(extensions(*c), (std::vector<std::string>{"CPP", "txt", "cpp", "*PROFILE", "c", "h", "s", "lst"}));
    ASSERT_NE(c->findFileType("Cpp"), nullptr);
    EXPECT_EQ(c->findFileType("Cpp")->cmdLine, "a");
    EXPECT_EQ(c->findFileType("*profile")->cmdLine, "p");
    EXPECT_EQ(c->findFileType("java"), nullptr);
}

TEST(ConfigTest, PropertiesAreSplitAndConverted)
{
    struct Case {
        const char* xml;
        Vector<String> include;
        int port;
        bool autoUpdates;
    };
    const Case cases[] = {
        {"<Property name=\"IncludeDirectories\" value=\"\"/>", {""}, -1, true},
        {"<Property name=\"IncludeDirectories\" value=\"a;b;\"/>", {"a", "b", ""}, -1, true},
        {"<Property name=\"PhonePort\" value=\"abc\"/>", {"/kit/include"}, 0, true},
        {"<Property name=\"PhonePort\" value=\"12\"/><Property name=\"autoUpdates\" value=\"1\"/>",
         {"/kit/include"}, 12, true},
        {"<Property name=\"autoUpdates\" value=\"yes\"/>", {"/kit/include"}, -1, false},
        {"<Property name=\"autoUpdates\" value=\"\"/>", {"/kit/include"}, -1, false},
    };
    TempDir tmp;
    for (const Case& k : cases) {
        writeFile(tmp.file("c.xml"), std::string("<Config version=\"1\">") + k.xml + "</Config>");
        auto c = read(tmp.file("c.xml"));
        EXPECT_EQ(c->includeDirectories, k.include) << k.xml;
        EXPECT_EQ(c->phonePort, k.port) << k.xml;
        EXPECT_EQ(c->autoUpdates, k.autoUpdates) << k.xml;
    }
}

TEST(ConfigTest, MalformedFileKeepsWhatWasReadAndDefaultsTheRest)
{
    TempDir tmp;
    writeFile(tmp.file("c.xml"),
              "<Config version=\"1\">\n"
              "\t<Property name=\"LibraryDirectories\" value=\"/mine\"/>\n"
              "\t<Property name=\"PhoneAddr");
    auto c = read(tmp.file("c.xml"));
    EXPECT_EQ(c->libraryDirectories, (Vector<String>{"/mine"}));
    EXPECT_EQ(c->includeDirectories, (Vector<String>{"/kit/include"}));
    EXPECT_EQ(c->fileTypes.size(), 6u);
}

TEST(ConfigTest, SettingsBeforeTheConfigElementAreIgnored)
{
    TempDir tmp;
    writeFile(tmp.file("c.xml"),
              "<Outer><Property name=\"PhonePort\" value=\"5\"/><Config/></Outer>");
    auto c = read(tmp.file("c.xml"));
    EXPECT_EQ(c->phonePort, -1);
}

TEST(ConfigTest, FailedWriteKeepsTheOldFile)
{
    TempDir tmp;
    writeFile(tmp.file("bin/config.xml"), "old");
    Config c;
    std::string error;
    EXPECT_FALSE(c.write(tmp.file("nodir/config.xml"), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readFile(tmp.file("bin/config.xml")), "old");
}
