#include "core/ProjectManager.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace Brask;
using TestSupport::CapturedDiagnostics;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

class Installation {
public:
    Installation() { TestSupport::makeMinimalInstallation(m_dir.path()); }
    const std::string& root() const { return m_dir.path(); }
    std::string file(const std::string& rel) const { return m_dir.file(rel); }

private:
    TempDir m_dir;
};

class Listener : public ProjectManagerListener {
public:
    Listener(std::string name, std::string& log)
        : m_name(std::move(name))
        , m_log(log)
    {
    }
    void settingsChanged() override { m_log += m_name + ".settings "; }
    void criteriaChanged() override { m_log += m_name + ".criteria "; }

private:
    std::string m_name;
    std::string& m_log;
};

const char* const SampleProject =
    "<Project name=\"demo\">\n"
    "\t<Configuration>\n"
    "\t\t<Property name=\"configType\" value=\"app\"/>\n"
    "\t\t<Property name=\"screenWidth\" value=\"176\"/>\n"
    "\t\t<Property name=\"screenHeight\" value=\"208\"/>\n"
    "\t\t<Property name=\"deadCodeElim\" value=\"true\"/>\n"
    "\t\t<Property name=\"ignoreDefaultIncludeDirectories\" value=\"false\"/>\n"
    "\t\t<Property name=\"ignoreDefaultLibraryDirectories\" value=\"false\"/>\n"
    "\t\t<Property name=\"ignoreDefaultLibraries\" value=\"false\"/>\n"
    "\t\t<Property name=\"Wall\" value=\"true\"/>\n"
    "\t\t<Property name=\"extraCmd\" value=\"-DNAME=&quot;x &amp; y&quot;\"/>\n"
    "\t</Configuration>\n"
    "\t<Criteria>\n"
    "\t</Criteria>\n"
    "\t<Folder name=\"src\">\n"
    "\t\t<File path=\"src\\main.c\"/>\n"
    "\t\t<Folder name=\"empty\">\n"
    "\t\t</Folder>\n"
    "\t\t<File path=\"src/game/world.cpp\"/>\n"
    "\t</Folder>\n"
    "\t<File path=\"res/resources.lst\"/>\n"
    "\t<File path=\"include/demo.h\"/>\n"
    "</Project>\n";

} // namespace

TEST(ProjectManagerTest, LoadAndRewriteIsByteExact)
{
    Installation inst;
    TempDir work;
    writeFile(work.file("demo.vnp"), SampleProject);
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    ASSERT_TRUE(pm.loadProject(work.file("demo.vnp")));
    EXPECT_FALSE(pm.lastLoadWasDamaged());
    EXPECT_EQ(pm.getProject()->getDirectory(), work.path() + "/");
    EXPECT_EQ(pm.getProject()->peekProperty("extraCmd"), "-DNAME=\"x & y\"");
    ASSERT_TRUE(pm.writeProject(work.file("again.vnp")));
    EXPECT_EQ(readFile(work.file("again.vnp")), SampleProject);
}

TEST(ProjectManagerTest, ReaderNormalisesAndKeepsDefaultsFirst)
{
    Installation inst;
    TempDir work;
    writeFile(work.file("p.vnp"),
              "<Project name=\"p\"><Configuration>"
              "<Property name=\"extraCmd\" value=\"x\"/>"
              "<Property name=\"screenWidth\" value=\"176\"/>"
              "<Property name=\"configType\" value=\"lib\"/>"
              "<Property name=\"deadCodeElim\" value=\"true\"/>"
              "</Configuration></Project>");
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    ASSERT_TRUE(pm.loadProject(work.file("p.vnp")));
    const auto& props = pm.getProject()->getProperties();
    ASSERT_EQ(props.size(), 8u);
    EXPECT_EQ(props[1], (Project::Property{"screenWidth", "176"}));
    EXPECT_EQ(props[7], (Project::Property{"extraCmd", "x"}));
    // A library never eliminates dead code.
    EXPECT_EQ(pm.getProject()->peekProperty("deadCodeElim"), "false");
}

TEST(ProjectManagerTest, EmptyProjectElementGivesDefaults)
{
    Installation inst;
    TempDir work;
    writeFile(work.file("p.vnp"), "<Project name=\"p\"/>");
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    ASSERT_TRUE(pm.loadProject(work.file("p.vnp")));
    EXPECT_EQ(pm.getProject()->getName(), "p");
    EXPECT_EQ(pm.getProject()->getProperties().size(), 7u);
    EXPECT_TRUE(pm.getProject()->getRoot()->getChildren().empty());
    EXPECT_TRUE(pm.getProject()->getCriteria().empty());
}

TEST(ProjectManagerTest, DamagedFileKeepsThePartialProjectAndSaysSo)
{
    Installation inst;
    TempDir work;
    std::string damaged = SampleProject;
    damaged.resize(damaged.find("\t<File path=\"res"));
    writeFile(work.file("p.vnp"), damaged);
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    ASSERT_TRUE(pm.loadProject(work.file("p.vnp")));
    EXPECT_TRUE(pm.lastLoadWasDamaged());
    const auto& children = pm.getProject()->getRoot()->getChildren();
    ASSERT_EQ(children.size(), 1u);
    EXPECT_EQ(children[0]->getChildren().size(), 3u);
    EXPECT_NE(diag.text().find(work.file("p.vnp") + ":"), std::string::npos) << diag.text();

    // A good load afterwards clears the flag.
    writeFile(work.file("good.vnp"), SampleProject);
    ASSERT_TRUE(pm.loadProject(work.file("good.vnp")));
    EXPECT_FALSE(pm.lastLoadWasDamaged());
}

TEST(ProjectManagerTest, FailedLoadLeavesNoProjectAndNotifiesNobody)
{
    Installation inst;
    TempDir work;
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    std::string log;
    Listener l("a", log);
    pm.addListener(&l);
    ASSERT_TRUE(pm.createProject(work.path()));
    log.clear();
    writeFile(work.file("other.xml"), "<Other/>");
    for (const std::string& path : {work.file("missing.vnp"), work.file("other.xml")}) {
        EXPECT_FALSE(pm.loadProject(path)) << path;
        EXPECT_EQ(pm.getProject(), nullptr);
    }
    EXPECT_EQ(log, "");
    EXPECT_FALSE(pm.writeProject(work.file("x.vnp")));
    EXPECT_FALSE(TestSupport::exists(work.file("x.vnp")));
}

TEST(ProjectManagerTest, ListenersHearSettingsThenCriteriaInRegistrationOrder)
{
    Installation inst;
    TempDir work;
    writeFile(work.file("p.vnp"), "<Project name=\"p\"/>");
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    std::string log;
    Listener a("a", log), b("b", log);
    pm.addListener(&a);
    pm.addListener(&b);
    pm.createProject(work.path());
    EXPECT_EQ(log, "a.settings b.settings a.criteria b.criteria ");
    log.clear();
    pm.loadProject(work.file("p.vnp"));
    EXPECT_EQ(log, "a.settings b.settings a.criteria b.criteria ");
}

TEST(ProjectManagerTest, CollectFilesWalksDepthFirstByKind)
{
    Installation inst;
    TempDir work;
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    pm.createProject(work.path());
    Project& p = *pm.getProject();
    new Sourcefile("a.c", p.getRoot());
    auto* f = new Folder(p.getRoot(), "F");
    new Sourcefile("b.c", f);
    new Sourcefile("c.h", f);
    new Sourcefile("r.LST", f);
    new Sourcefile("d.CPP", p.getRoot());
    new Sourcefile("boot.s", p.getRoot());
    new Sourcefile("noext", p.getRoot());
    const std::string dir = work.path() + "/";
    Vector<String> sources, lists, asm_, other;
    pm.collectFiles(SourceFile, sources);
    pm.collectFiles(ResourceList, lists);
    pm.collectFiles(AssemblyFile, asm_);
    pm.collectFiles(OtherFile, other);
    EXPECT_EQ(sources, (Vector<String>{dir + "a.c", dir + "b.c", dir + "d.CPP"}));
    EXPECT_EQ(lists, (Vector<String>{dir + "r.LST"}));
    EXPECT_EQ(asm_, (Vector<String>{dir + "boot.s"}));
    EXPECT_EQ(other, (Vector<String>{dir + "c.h", dir + "noext"}));
}

TEST(ProjectManagerTest, FailedWriteKeepsTheOldFile)
{
    Installation inst;
    TempDir work;
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    pm.createProject(work.path());
    std::string error;
    EXPECT_FALSE(pm.writeProject(work.file("no/dir/p.vnp"), &error));
    EXPECT_FALSE(error.empty());
}

TEST(ProjectManagerTest, NoConfigFileGivesDefaultsFromTheRoot)
{
    Installation inst;
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    EXPECT_EQ(pm.getConfig().includeDirectories, (Vector<String>{inst.root() + "/include"}));
    EXPECT_EQ(pm.getConfig().libraryDirectories, (Vector<String>{inst.root() + "/lib/pipe"}));
    EXPECT_EQ(diag.text(),
              "ConfigParser::ConfigParser(" + inst.root() + "/bin/config.xml)\n"
              "Default Include Directories:\n\t" + inst.root() + "/include\n"
              "Default Library Directories:\n\t" + inst.root() + "/lib/pipe\n"
              "Default Libraries:\n\tKVStd.lib\n");
    ASSERT_TRUE(pm.writeConfig());
    EXPECT_EQ(readFile(inst.file("bin/config.xml")), pm.getConfig().toText());
}

TEST(ProjectManagerTest, ItemsInsideAFileElementGoToItsFolder)
{
    Installation inst;
    TempDir work;
    writeFile(work.file("p.vnp"),
              "<Project name=\"p\"><Folder name=\"A\"><File path=\"x.c\"><Folder name=\"B\"/></File>"
              "<File path=\"y.c\"/></Folder><File path=\"z.c\"/></Project>");
    CapturedDiagnostics diag;
    ProjectManager pm(inst.root(), nullptr);
    ASSERT_TRUE(pm.loadProject(work.file("p.vnp")));
    const auto& top = pm.getProject()->getRoot()->getChildren();
    ASSERT_EQ(top.size(), 2u);
    ASSERT_EQ(top[0]->getChildren().size(), 3u);
    EXPECT_EQ(top[0]->getChildren()[0]->getName(), "x.c");
    EXPECT_EQ(top[0]->getChildren()[1]->getName(), "B");
    EXPECT_EQ(top[0]->getChildren()[2]->getName(), "y.c");
    EXPECT_EQ(top[1]->getName(), "z.c");
}

TEST(ProjectManagerTest, BackgroundReadsAreTakenWholeAndEndWithTheManager)
{
    Installation kit;
    for (int v = 0; v < 5; ++v)
        for (int d = 0; d < 40; ++d)
            writeFile(kit.file("profiles/vendors/V" + std::to_string(v) + "/D" + std::to_string(d) + "/runtime.txt"),
                      "profiles\\runtimes\\1\n");
    std::atomic<int> arrived{0};
    {
        ProjectManager manager(kit.root(), nullptr);
        manager.startReadingProfiles([&] { ++arrived; });
        // No waiter: the caller blocks until the worker is done.
        EXPECT_EQ(manager.getProfileDatabase().deviceCount(), 200u);
        EXPECT_EQ(arrived.load(), 1);
        const unsigned first = manager.getProfileDatabase().generation();
        manager.reloadProfiles();
        EXPECT_EQ(manager.getProfileDatabase().deviceCount(), 200u);
        EXPECT_GT(manager.getProfileDatabase().generation(), first);
        // The manager goes while a read is under way: it is stopped, not leaked.
        manager.reloadProfiles();
    }
    EXPECT_LE(arrived.load(), 3);
}
