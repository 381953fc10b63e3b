// Whatever bytes a name holds (Latin-1 folder names, control characters,
// broken UTF-8), every file VarBuild writes loads again with all of it.

#include "core/ProjectManager.h"
#include "core/profiles/Criteria.h"
#include "core/xml/XMLParser.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace Brask;
using TestSupport::CapturedDiagnostics;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

std::string allBytes(const std::string& except = "")
{
    std::string s;
    for (int b = 1; b <= 255; ++b)
        if (except.find(static_cast<char>(b)) == std::string::npos)
            s += static_cast<char>(b);
    return s;
}

// Names that stress the writer: every byte alone, every byte at once, and
// sequences that look like UTF-8 but are not allowed in XML.
std::vector<std::string> awkwardNames()
{
    std::vector<std::string> names;
    for (int b = 1; b <= 255; ++b)
        names.push_back(std::string("n") + static_cast<char>(b) + "x");
    names.push_back(allBytes());
    names.push_back("Caf\xe9");                 // Latin-1
    names.push_back("\xc3");                    // cut-off sequence
    names.push_back("\xc0\xaf");                // overlong "/"
    names.push_back("\xed\xa0\x80");            // surrogate
    names.push_back("\xef\xbf\xbe\xef\xbf\xbf"); // U+FFFE U+FFFF
    names.push_back("\xf4\x90\x80\x80");        // beyond U+10FFFF
    names.push_back("\xf4\x8f\xbc\x80\xf4\x8f\xbf\xbf"); // the byte-code range itself
    names.push_back("&#1;&amp;&quot;");         // text that looks escaped
    return names;
}

} // namespace

TEST(AnyByteRoundTripTest, ProjectFileKeepsEveryByte)
{
    TempDir tmp;
    TempDir kit;
    TestSupport::makeMinimalInstallation(kit.path());
    CapturedDiagnostics quiet;

    const std::vector<std::string> names = awkwardNames();
    ProjectManager writer(kit.path(), nullptr);
    writer.createProject(tmp.path());
    Project& p = *writer.getProject();
    p.setName(allBytes());
    Folder* deep = p.getRoot();
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& n = names[i];
        p.setProperty("k" + n, "v" + n);
        Folder* folder = new Folder(i % 2 ? deep : p.getRoot(), n);
        new Sourcefile("src/" + n + ".c", folder);
        if (i % 16 == 0)
            deep = folder;
    }
    p.addCriterion(std::make_unique<Has>(allBytes()));
    p.addCriterion(std::make_unique<Lacks>(names[9]));
    p.addCriterion(std::make_unique<Is>(false, "Caf\xe9"));
    p.addCriterion(std::make_unique<Not>(true, allBytes()));
    p.addCriterion(std::make_unique<Constant>(Constant::EQ, allBytes(), 7, false));
    const std::string path = tmp.file("p.vnp");
    std::string error;
    ASSERT_TRUE(writer.writeProject(path, &error)) << error;

    ProjectManager reader(kit.path(), nullptr);
    ASSERT_TRUE(reader.loadProject(path)) << quiet.text();
    EXPECT_FALSE(reader.lastLoadWasDamaged()) << quiet.text();
    const Project& q = *reader.getProject();
    EXPECT_EQ(q.getName(), p.getName());
    EXPECT_EQ(q.getProperties(), p.getProperties());
    ASSERT_EQ(q.getCriteria().size(), p.getCriteria().size());
    for (size_t i = 0; i < p.getCriteria().size(); ++i) {
        EXPECT_EQ(q.getCriteria()[i]->getXML(), p.getCriteria()[i]->getXML()) << i;
        EXPECT_EQ(q.getCriteria()[i]->getDescription(), p.getCriteria()[i]->getDescription()) << i;
    }
    // The whole tree, names and paths included, is written again unchanged.
    EXPECT_EQ(q.toXML(), p.toXML());
    const auto& folders = q.getRoot()->getChildren();
    ASSERT_FALSE(folders.empty());
    EXPECT_EQ(folders[0]->getName(), names[0]);
    const auto* file = static_cast<const Sourcefile*>(folders[0]->getChildren()[0].get());
    EXPECT_EQ(file->getPath(), "src/" + names[0] + ".c");
    // Writing the loaded project again gives the same bytes.
    ASSERT_TRUE(reader.writeProject(tmp.file("again.vnp"), &error)) << error;
    EXPECT_EQ(readFile(tmp.file("again.vnp")), readFile(path));
}

TEST(AnyByteRoundTripTest, ConfigKeepsEveryByte)
{
    TempDir kit;
    TestSupport::makeMinimalInstallation(kit.path());
    CapturedDiagnostics quiet;
    // ";" separates the entries of the directory lists, so it cannot be part
    // of one entry.
    const std::string entry = allBytes(";");
    {
        ProjectManager manager(kit.path(), nullptr);
        Config& c = manager.getConfig();
        c.fileTypes.insert(c.fileTypes.begin(), FileType{allBytes(), allBytes()});
        c.includeDirectories = {entry, "Caf\xe9", ""};
        c.libraryDirectories = {"\x01\x1f"};
        c.defaultLibraries = {entry};
        c.phoneAddress = allBytes();
        std::string error;
        ASSERT_TRUE(manager.writeConfig(&error)) << error;
    }
    ProjectManager manager(kit.path(), nullptr);
    const Config& c = manager.getConfig();
    ASSERT_FALSE(c.fileTypes.empty());
    EXPECT_EQ(c.fileTypes[0].extension, allBytes());
    EXPECT_EQ(c.fileTypes[0].cmdLine, allBytes());
    EXPECT_EQ(c.includeDirectories, (Vector<String>{entry, "Caf\xe9", ""}));
    EXPECT_EQ(c.libraryDirectories, (Vector<String>{"\x01\x1f"}));
    EXPECT_EQ(c.defaultLibraries, (Vector<String>{entry}));
    EXPECT_EQ(c.phoneAddress, allBytes());
}

TEST(AnyByteRoundTripTest, TextXmlCanCarryIsWrittenAsBefore)
{
    // Well-formed UTF-8 and plain ASCII pass through untouched.
    const std::string kept[] = {"main.c", "Caf\xc3\xa9", "\xe4\xb8\xad", "\xf0\x9f\x98\x80", "\x7f", "a>b"};
    for (const std::string& text : kept)
        EXPECT_EQ(Corvath::XML::escapeAttribute(text), text);
    EXPECT_EQ(Corvath::XML::escapeAttribute("a\tb\nc\r\"&<"), "a&#9;b&#10;c&#13;&quot;&amp;&lt;");
    // A byte that XML cannot carry becomes one code point of a private range.
    EXPECT_EQ(Corvath::XML::escapeAttribute("\xe9"), "\xf4\x8f\xbf\xa9");
    EXPECT_EQ(Corvath::XML::decodeByteCodes("\xf4\x8f\xbf\xa9"), "\xe9");
}
