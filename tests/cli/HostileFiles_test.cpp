// varbuild-cli on files a real installation can hold that are not what they
// should be: special files, absurd nesting, damage, existing outputs, odd
// bytes. Nothing may hang, crash or report a half-read file as a result.

#include "core/ProjectManager.h"
#include "core/profiles/Criteria.h"
#include "support/TestSupport.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

struct MergedRun {
    int status = -1;     // -2: killed after the time limit (a hang)
    std::string output;  // standard output and standard error as a terminal shows them
};

// Runs varbuild-cli with both streams into one file, as on a terminal, and
// kills it when it has not ended within `seconds`.
MergedRun runMerged(const std::string& dir, const std::string& root, const std::vector<std::string>& args,
                    int seconds = 60)
{
    const std::string program = VARBUILD_KIT_DIR "/bin/varbuild-cli";
    const std::string outPath = dir + "/merged.out";
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const std::string rootVar = "VARNELDIR=" + root;
        char* envp[] = {const_cast<char*>(rootVar.c_str()), const_cast<char*>("PATH=/usr/bin:/bin"), nullptr};
        execve(program.c_str(), argv.data(), envp);
        _exit(127);
    }
    MergedRun run;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            run.status = -2;
            run.output = readFile(outPath);
            return run;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output = readFile(outPath);
    return run;
}

const char* const GoodProject = "<Project name=\"p\">\n\t<Criteria>\n\t</Criteria>\n</Project>\n";

class HostileFilesTest : public testing::Test {
protected:
    void SetUp() override
    {
        TestSupport::makeMinimalInstallation(m_kit.path());
        writeFile(m_kit.file("profiles/vendors/Acme/A1/runtime.txt"), "profiles\\runtimes\\1\n");
        writeFile(m_kit.file("profiles/vendors/Acme/A1/profile.h"), "");
    }
    std::string kit(const std::string& rel) const { return m_kit.file(rel); }
    std::string work(const std::string& rel) const { return m_work.file(rel); }
    MergedRun run(const std::vector<std::string>& args, int seconds = 60)
    {
        return runMerged(m_work.path(), m_kit.path(), args, seconds);
    }

    TempDir m_kit;
    TempDir m_work;
};

std::string nested(const char* open, const char* close, int depth)
{
    std::string out;
    for (int i = 0; i < depth; ++i)
        out += open;
    for (int i = 0; i < depth; ++i)
        out += close;
    return out;
}

} // namespace

TEST(HostileFiles, SpecialFilesAreNotReadAndNothingWaits)
{
    // K stands for the installation root, P for the project file.
    struct Case {
        const char* what;
        const char* special;  // the path made special, "K/..." or "P"
        char kind;            // 'f' FIFO, 'd' directory, 'z' link to /dev/zero
        const char* command;
        int status;
        const char* says;  // part of the output
    };
    const Case cases[] = {
        {"project file is a FIFO", "P", 'f', "targets", 1, "Failed to load XML file P\n"},
        {"project file is a FIFO (build)", "P", 'f', "build", 1, "Failed to load XML file P\n"},
        // Every command refuses a missing project or a directory in one line.
        {"project file is a directory", "P", 'd', "targets", 1, "varbuild-cli: cannot read project P\n"},
        {"bin/config.xml is a FIFO", "K/bin/config.xml", 'f', "targets", 0,
         "Failed to load XML file K/bin/config.xml\n"},
        {"bin/config.xml is a directory", "K/bin/config.xml", 'd', "targets", 0,
         "Failed to load XML file K/bin/config.xml\n"},
        {"profile.h is a FIFO", "K/profiles/vendors/Acme/A1/profile.h", 'f', "targets", 0,
         "Acme\tA1\tprofiles\\runtimes\\1\n"},
        {"runtime.txt is /dev/zero", "K/profiles/vendors/Acme/A1/runtime.txt", 'z', "targets", 1,
         "Error, K/profiles/vendors/Acme/A1/runtime.txt could not be opened.\n"},
        {"runtime.txt is a FIFO", "K/profiles/vendors/Acme/A1/runtime.txt", 'f', "targets", 1,
         "Error, K/profiles/vendors/Acme/A1/runtime.txt could not be opened.\n"},
        {"definitions.txt is a FIFO", "K/profiles/vendors/definitions.txt", 'f', "targets", 1,
         "Couldn't open K/profiles/vendors/definitions.txt!\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir kit;
        TempDir work;
        TestSupport::makeMinimalInstallation(kit.path());
        writeFile(kit.file("profiles/vendors/Acme/A1/runtime.txt"), "profiles\\runtimes\\1\n");
        writeFile(kit.file("profiles/vendors/Acme/A1/profile.h"), "");
        const std::string project = work.file("p.vnp");
        writeFile(project, GoodProject);
        const auto expand = [&](std::string text) {
            // Searching on after each replacement: the kit's own path may
            // hold a "K/" (a temporary name ending in K).
            for (size_t at = 0; (at = text.find("K/", at)) != std::string::npos; at += kit.path().size())
                text.replace(at, 1, kit.path());
            for (const std::string before : {"file P", "project P"})
                if (text.find(before) != std::string::npos)
                    text.replace(text.find(before) + before.size() - 1, 1, project);
            return text;
        };
        const std::string special = std::string(c.special) == "P" ? project : expand(c.special);
        unlink(special.c_str());
        if (c.kind == 'f')
            ASSERT_EQ(mkfifo(special.c_str(), 0644), 0);
        else if (c.kind == 'd')
            TestSupport::makeDirs(special);
        else
            ASSERT_EQ(symlink("/dev/zero", special.c_str()), 0);

        const MergedRun r = runMerged(work.path(), kit.path(), {c.command, project}, 20);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(expand(c.says)), std::string::npos) << expand(c.says) << "\n" << r.output;
        // Unlink the special file first: removing the directories must not
        // open it.
        unlink(special.c_str());
    }
}

TEST_F(HostileFilesTest, DeepNestingIsDamageNotACrash)
{
    // Each program refuses a project nested beyond the limit as damaged.
    const std::string deep = work("deep.vnp");
    writeFile(deep, "<Project name=\"deep\">" + nested("<Folder name=\"f\">", "</Folder>", 300000) + "</Project>\n");
    for (const char* command : {"targets", "build", "send", "serve"}) {
        const MergedRun r = run({command, deep});
        EXPECT_EQ(r.status, 1) << command << r.output.substr(0, 2000);
        EXPECT_NE(r.output.find("elements nested too deeply\nvarbuild-cli: project " + deep + " is damaged"),
                  std::string::npos)
            << command << r.output.substr(0, 2000);
    }

    // A Visual C++ project 40,000 filters deep imports what lies within the
    // limit, says it was damaged, and the result stays small and loads.
    const std::string vcproj = work("vc.vcproj");
    writeFile(vcproj, "<VisualStudioProject Version=\"8,00\" Name=\"vc\"><Files>"
                          + nested("<Filter Name=\"f\">", "</Filter>", 40000) + "</Files></VisualStudioProject>");
    MergedRun r = run({"import", vcproj});
    ASSERT_EQ(r.status, 0) << r.output.substr(0, 2000);
    EXPECT_NE(r.output.find("could be read only in part"), std::string::npos) << r.output.substr(0, 2000);
    const std::string imported = readFile(work("vc.vnp"));
    EXPECT_LT(imported.size(), 200000u);
    r = run({"targets", work("vc.vnp")});
    EXPECT_EQ(r.status, 0) << r.output.substr(0, 2000);
    EXPECT_EQ(r.output.find("damaged"), std::string::npos) << r.output.substr(0, 2000);
}

TEST_F(HostileFilesTest, TargetsRefusesADamagedProject)
{
    const std::string project = work("p.vnp");
    // Cut short after the first criterion: the second one, which would have
    // excluded the device, is missing.
    writeFile(project, "<Project name=\"p\">\n\t<Criteria>\n\t\t<Vendor is=\"Acme\"/>\n\t\t<Device isNot=\"A");
    const MergedRun r = run({"targets", project});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output.find("Acme\tA1"), std::string::npos) << r.output;
    // The XML layer's line is ended before the refusal starts.
    EXPECT_NE(r.output.find("\nvarbuild-cli: project " + project + " is damaged; only part of it could be read\n"),
              std::string::npos)
        << r.output;

    // A damaged bin/config.xml leaves the project usable; its message ends
    // before the device list starts.
    writeFile(project, GoodProject);
    writeFile(kit("bin/config.xml"), "<Config version=\"1\">\n<Property name=\"PhonePort\"");
    TestSupport::ProgramRun split = TestSupport::runCli(m_work.path(), m_kit.path(), {"targets", project});
    EXPECT_EQ(split.status, 0) << split.err;
    EXPECT_EQ(split.out, "Acme\tA1\tprofiles\\runtimes\\1\n");
    const MergedRun merged = run({"targets", project});
    EXPECT_NE(merged.output.find("\nAcme\tA1\tprofiles\\runtimes\\1\n"), std::string::npos) << merged.output;
}

TEST_F(HostileFilesTest, LatinOneDeviceChosenAsTargetSurvivesTheProjectFile)
{
    // A device folder named in Latin-1, as an old kit's database may hold,
    // chosen as the target and saved the way the window saves it.
    writeFile(kit("profiles/vendors/Acme/Caf\xe9/runtime.txt"), "profiles\\runtimes\\2\n");
    {
        TestSupport::CapturedDiagnostics quiet;
        Brask::ProjectManager manager(m_kit.path(), nullptr);
        manager.createProject(m_work.path());
        manager.getProject()->setName("game\x01");
        manager.getProject()->setProperty("targetDevice", "Caf\xe9");
        manager.getProject()->addCriterion(std::make_unique<Brask::Is>(false, "Caf\xe9"));
        std::string error;
        ASSERT_TRUE(manager.writeProject(work("game.vnp"), &error)) << error;
    }
    const MergedRun r = run({"targets", work("game.vnp")});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("\nAcme\tCaf\xe9\tprofiles\\runtimes\\2\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("A1"), std::string::npos) << r.output;
}
