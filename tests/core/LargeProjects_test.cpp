// Projects far larger or deeper than any real one: nothing may depend on the
// call stack, and loading stays exact.

#include "core/ProjectManager.h"
#include "core/project/ProjectRelocation.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace Brask;
using Corvath::XML::MaxNestingDepth;
using TestSupport::CapturedDiagnostics;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

TEST(LargeProjectsTest, DeepTreeIsWrittenCollectedAndDestroyedWithoutRecursion)
{
    // Far deeper than any file may nest, built in memory as a program could.
    constexpr int Depth = 200000;
    TempDir kit;
    TestSupport::makeMinimalInstallation(kit.path());
    CapturedDiagnostics quiet;
    ProjectManager manager(kit.path(), nullptr);
    manager.createProject("/p");
    Folder* folder = manager.getProject()->getRoot();
    for (int i = 0; i < Depth; ++i)
        folder = new Folder(folder, "f");
    new Sourcefile("deep.c", folder);
    new Sourcefile("top.c", manager.getProject()->getRoot());

    Vector<String> files;
    manager.collectFiles(SourceFile, files);
    EXPECT_EQ(files, (Vector<String>{"/p/deep.c", "/p/top.c"}));

    const String xml = manager.getProject()->toXML();
    // Indentation stops growing at the nesting limit.
    const String innermost = String(MaxNestingDepth, '\t') + "<File path=\"deep.c\"/>\n";
    EXPECT_NE(xml.find("\n" + innermost), String::npos);
    EXPECT_LT(xml.size(), static_cast<size_t>(Depth) * 2 * (MaxNestingDepth + 20));
    const String tail = "\t</Folder>\n\t<File path=\"top.c\"/>\n</Project>\n";
    EXPECT_EQ(xml.substr(xml.size() - tail.size()), tail);

    relocateProject(*manager.getProject(), "/q/r");
    EXPECT_NE(manager.getProject()->toXML().find("<File path=\"../../p/deep.c\"/>"), String::npos);
    // Destroying the tree (and removing a deep subtree) must not overflow.
    manager.getProject()->getRoot()->removeChild(0);
    manager.createProject("/p");
}

TEST(LargeProjectsTest, NestingLimitMakesAFileDamagedAtTheSameDepthEverywhere)
{
    struct Case {
        int depth;
        bool damaged;
    };
    // The Project element is one level; folders fill the rest.
    const Case cases[] = {{MaxNestingDepth - 1, false}, {MaxNestingDepth, true}, {100000, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.depth);
        TempDir tmp;
        std::string text = "<Project name=\"p\">";
        for (int i = 0; i < c.depth; ++i)
            text += "<Folder name=\"f\">";
        for (int i = 0; i < c.depth; ++i)
            text += "</Folder>";
        text += "</Project>";
        writeFile(tmp.file("p.vnp"), text);
        CapturedDiagnostics diag;
        TempDir kit;
        TestSupport::makeMinimalInstallation(kit.path());
        ProjectManager manager(kit.path(), nullptr);
        ASSERT_TRUE(manager.loadProject(tmp.file("p.vnp")));
        EXPECT_EQ(manager.lastLoadWasDamaged(), c.damaged);
        EXPECT_EQ(diag.text().find("elements nested too deeply") != std::string::npos, c.damaged) << diag.text();
        int depth = 0;
        for (const ProjectItem* item = manager.getProject()->getRoot(); !item->getChildren().empty();
             item = item->getChildren()[0].get())
            ++depth;
        EXPECT_EQ(depth, std::min(c.depth, MaxNestingDepth - 1));
    }
}

TEST(LargeProjectsTest, HundredThousandPropertiesLoadInOrder)
{
    TempDir tmp;
    std::string text = "<Project name=\"p\">\n\t<Configuration>\n";
    for (int i = 0; i < 100000; ++i)
        text += "\t\t<Property name=\"key" + std::to_string(i) + "\" value=\"" + std::to_string(i) + "\"/>\n";
    // Repeated keys keep their first place and take the last value.
    text += "\t\t<Property name=\"key7\" value=\"seven\"/>\n\t\t<Property name=\"screenWidth\" value=\"176\"/>\n";
    text += "\t</Configuration>\n\t<Criteria>\n\t</Criteria>\n</Project>\n";
    writeFile(tmp.file("p.vnp"), text);
    TempDir kit;
    TestSupport::makeMinimalInstallation(kit.path());
    CapturedDiagnostics quiet;
    ProjectManager manager(kit.path(), nullptr);
    ASSERT_TRUE(manager.loadProject(tmp.file("p.vnp")));
    Project& p = *manager.getProject();
    ASSERT_EQ(p.getProperties().size(), 100007u);
    EXPECT_EQ(p.getProperties()[1], (Project::Property{"screenWidth", "176"}));
    EXPECT_EQ(p.getProperties()[7], (Project::Property{"key0", "0"}));
    EXPECT_EQ(p.getProperties()[14], (Project::Property{"key7", "seven"}));
    EXPECT_EQ(p.getProperties()[100006], (Project::Property{"key99999", "99999"}));
    EXPECT_EQ(p.peekProperty("key50000"), "50000");
    EXPECT_EQ(p.getProperty("fresh"), "");
    EXPECT_EQ(p.getProperties().back(), (Project::Property{"fresh", ""}));
}
