#include "core/project/Project.h"

#include <gtest/gtest.h>

using namespace Brask;

namespace {

const char* const DefaultKeys[] = {
    "configType", "screenWidth", "screenHeight", "deadCodeElim",
    "ignoreDefaultIncludeDirectories", "ignoreDefaultLibraryDirectories", "ignoreDefaultLibraries",
};

const char* const ThirteenLines =
    "<Project name=\"demo\">\n"
    "\t<Configuration>\n"
    "\t\t<Property name=\"configType\" value=\"app\"/>\n"
    "\t\t<Property name=\"screenWidth\" value=\"240\"/>\n"
    "\t\t<Property name=\"screenHeight\" value=\"320\"/>\n"
    "\t\t<Property name=\"deadCodeElim\" value=\"false\"/>\n"
    "\t\t<Property name=\"ignoreDefaultIncludeDirectories\" value=\"false\"/>\n"
    "\t\t<Property name=\"ignoreDefaultLibraryDirectories\" value=\"false\"/>\n"
    "\t\t<Property name=\"ignoreDefaultLibraries\" value=\"false\"/>\n"
    "\t</Configuration>\n"
    "\t<Criteria>\n"
    "\t</Criteria>\n"
    "</Project>\n";

} // namespace

TEST(ProjectTest, NewProjectHasTheSevenDefaultsInOrder)
{
    Project p("/work/game");
    ASSERT_EQ(p.getProperties().size(), 7u);
    for (size_t i = 0; i < 7; ++i)
        EXPECT_EQ(p.getProperties()[i].first, DefaultKeys[i]);
    EXPECT_EQ(p.peekProperty("deadCodeElim"), "false");
    EXPECT_EQ(p.peekProperty("screenWidth"), "240");
    EXPECT_EQ(p.getName(), "");
    EXPECT_EQ(p.getRoot()->getName(), "root");
}

TEST(ProjectTest, DirectoryGetsOneTrailingSeparator)
{
    EXPECT_EQ(Project("/work/game").getDirectory(), "/work/game/");
    EXPECT_EQ(Project("/work/game/").getDirectory(), "/work/game/");
    // A Linux directory name may end with a backslash; only "/" ends it.
    EXPECT_EQ(Project("/work/dir\\").getDirectory(), "/work/dir\\/");
}

TEST(ProjectTest, ReadingAnAbsentPropertyAppendsItEmpty)
{
    Project p("/x");
    EXPECT_EQ(p.getProperty("Wall"), "");
    ASSERT_EQ(p.getProperties().size(), 8u);
    EXPECT_EQ(p.getProperties()[7], (Project::Property{"Wall", ""}));
    // peek does not add.
    EXPECT_EQ(p.peekProperty("Wextra"), "");
    EXPECT_EQ(p.getProperties().size(), 8u);
}

TEST(ProjectTest, SetPropertyKeepsPositionAndAppendsNewKeys)
{
    Project p("/x");
    p.setProperty("screenWidth", "176");
    p.setProperty("extraCmd", "-DX");
    EXPECT_EQ(p.getProperties()[1], (Project::Property{"screenWidth", "176"}));
    EXPECT_EQ(p.getProperties()[7], (Project::Property{"extraCmd", "-DX"}));
    p.setProperty("extraCmd", "-DY");
    EXPECT_EQ(p.getProperties().size(), 8u);
    EXPECT_EQ(p.getProperty("extraCmd"), "-DY");
}

TEST(ProjectTest, WriterGivesThirteenLinesForAnEmptyProject)
{
    Project p("/x");
    p.setName("demo");
    EXPECT_EQ(p.toXML(), ThirteenLines);
}

TEST(ProjectTest, WriterNestsFoldersAndWritesStoredPaths)
{
    Project p("/x");
    p.setName("demo");
    auto* src = new Folder(p.getRoot(), "src");
    new Sourcefile("src\\main.c", src);
    auto* empty = new Folder(src, "empty");
    (void)empty;
    new Sourcefile("res.lst", p.getRoot());
    const std::string xml = p.toXML();
    const std::string tail =
        "\t</Criteria>\n"
        "\t<Folder name=\"src\">\n"
        "\t\t<File path=\"src\\main.c\"/>\n"
        "\t\t<Folder name=\"empty\">\n"
        "\t\t</Folder>\n"
        "\t</Folder>\n"
        "\t<File path=\"res.lst\"/>\n"
        "</Project>\n";
    ASSERT_GE(xml.size(), tail.size());
    EXPECT_EQ(xml.substr(xml.size() - tail.size()), tail);
}

TEST(ProjectTest, ReservedCharactersAreEscaped)
{
    Project p("/x");
    p.setName("a \"b\" & <c>");
    p.setProperty("extraCmd", "-DX=\"1\"");
    new Folder(p.getRoot(), "R&D");
    new Sourcefile("a<b.c", p.getRoot());
    const std::string xml = p.toXML();
    EXPECT_NE(xml.find("<Project name=\"a &quot;b&quot; &amp; &lt;c>\">"), std::string::npos);
    EXPECT_NE(xml.find("value=\"-DX=&quot;1&quot;\""), std::string::npos);
    EXPECT_NE(xml.find("<Folder name=\"R&amp;D\">"), std::string::npos);
    EXPECT_NE(xml.find("<File path=\"a&lt;b.c\"/>"), std::string::npos);
}

TEST(ProjectTreeTest, RemoveAndIndexOfChildWorkByIdentity)
{
    Folder root(nullptr, "root");
    auto* a = new Sourcefile("a.c", &root);
    auto* f = new Folder(&root, "F");
    new Sourcefile("b.c", f);
    auto* d = new Sourcefile("a.c", &root);  // same name, different item
    EXPECT_EQ(root.indexOfChild(a), 0);
    EXPECT_EQ(root.indexOfChild(d), 2);
    EXPECT_EQ(root.indexOfChild(&root), -1);
    root.removeChild(1);  // the folder and its subtree
    ASSERT_EQ(root.getChildren().size(), 2u);
    EXPECT_EQ(root.indexOfChild(d), 1);
    root.removeChild(2);  // out of range: nothing happens
    root.removeChild(-1);
    EXPECT_EQ(root.getChildren().size(), 2u);
    EXPECT_EQ(d->getParent(), &root);
}

TEST(ProjectTreeTest, SourcefileNamesAndExtensions)
{
    struct Case {
        const char* path;
        const char* name;
        const char* extension;
    };
    const Case cases[] = {
        {"src\\main.c", "main.c", "c"},
        {"src/game/world.cpp", "world.cpp", "cpp"},
        {"a.b.c", "a.b.c", "b"},
        {"Makefile", "Makefile", ""},
        {"", "", ""},
    };
    Folder root(nullptr, "root");
    for (const Case& c : cases) {
        const auto* f = new Sourcefile(c.path, &root);
        EXPECT_EQ(f->getPath(), c.path);
        EXPECT_EQ(f->getName(), c.name) << c.path;
        EXPECT_EQ(f->getExtension(), c.extension) << c.path;
        EXPECT_EQ(f->getType(), ProjectItem::FileKind);
    }
    auto* renamed = new Sourcefile("old.c", &root);
    renamed->setName("dir/new.cpp");
    EXPECT_EQ(renamed->getPath(), "dir/new.cpp");
    EXPECT_EQ(renamed->getName(), "new.cpp");
}
