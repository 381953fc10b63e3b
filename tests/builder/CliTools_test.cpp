// varbuild-cli running tools that misbehave: a tool that wants the terminal,
// signals that end varbuild-cli while a tool runs, and a tool that is
// missing. The kit is the build tree's installation with bin/xgcc replaced.

#include "BuildFixture.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using BuildTest::writeScript;
using TestSupport::TempDir;
using TestSupport::readFile;

namespace fs = std::filesystem;

namespace {

const std::string Kit = VARBUILD_KIT_DIR;
const std::string Cli = Kit + "/bin/varbuild-cli";

// The demo project beside a copy of the installation whose bin holds links
// to the real tools, except for the tools a test writes itself.
class CliTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_tmp.file("kit/bin"));
        for (const char* dir : {"profiles", "include", "lib"})
            fs::create_directory_symlink(Kit + "/" + dir, m_tmp.file(std::string("kit/") + dir));
        // The demo's configuration names the demo's own directories; this
        // installation takes the defaults of its own root.
        for (const auto& entry : fs::directory_iterator(Kit + "/bin"))
            if (entry.path().filename() != "config.xml")
                fs::create_symlink(entry.path(), m_tmp.file("kit/bin/" + entry.path().filename().string()));
        fs::copy(Kit + "/projects/demo", m_tmp.file("demo"), fs::copy_options::recursive);
    }

    void replaceTool(const std::string& name, const std::string& body)
    {
        fs::remove(m_tmp.file("kit/bin/" + name));
        if (!body.empty())
            writeScript(m_tmp.file("kit/bin/" + name), body);
    }

    // Starts varbuild-cli build on the demo project with output to files,
    // or on the terminal `tty` (a pseudo-terminal's slave, which becomes the
    // controlling terminal of a new session).
    pid_t startBuild(const std::string& tty = "")
    {
        const std::string root = "VARNELDIR=" + m_tmp.file(m_kitName);
        const char* path = std::getenv("PATH");
        const std::string pathVar = std::string("PATH=") + (path ? path : "/usr/bin:/bin");
        const std::string project = m_tmp.file(m_projectDir + "/demo.vnp");
        const std::string out = m_tmp.file("cli.out");
        const pid_t pid = ::fork();
        if (pid == 0) {
            int fd;
            if (tty.empty()) {
                fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            } else {
                ::setsid();
                fd = ::open(tty.c_str(), O_RDWR);
            }
            if (fd < 0 || ::dup2(fd, 1) < 0 || ::dup2(fd, 2) < 0)
                ::_exit(127);
            if (!tty.empty())
                ::dup2(fd, 0);
            char* argv[] = {const_cast<char*>(Cli.c_str()), const_cast<char*>("build"),
                            const_cast<char*>(project.c_str()), nullptr};
            char* envp[] = {const_cast<char*>(root.c_str()), const_cast<char*>(pathVar.c_str()), nullptr};
            ::execve(Cli.c_str(), argv, envp);
            ::_exit(127);
        }
        return pid;
    }

    // Waits for `pid` for at most `seconds`, calling `tick` meanwhile; -1
    // when it did not end in time.
    template <typename Tick>
    static int waitFor(pid_t pid, int seconds, Tick tick)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > limit)
                return -1;
            tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return status;
    }

    static bool alive(pid_t pid) { return ::kill(pid, 0) == 0; }

    // Adds property elements to the demo project's configuration.
    void addProperties(const std::string& elements)
    {
        const std::string project = m_tmp.file("demo/demo.vnp");
        std::string text = readFile(project);
        const size_t end = text.find("\t</Configuration>");
        ASSERT_NE(std::string::npos, end);
        text.insert(end, "\t\t" + elements + "\n");
        TestSupport::writeFile(project, text);
    }

    TempDir m_tmp;
    std::string m_kitName = "kit";
    std::string m_projectDir = "demo";
};

} // namespace

// Every signal that ends varbuild-cli ends the running tool's whole group
// too: a closed terminal (SIGHUP) or a quit key (SIGQUIT) must not leave a
// compiler running on.
TEST_F(CliTools, TerminatingSignalsEndTheRunningTool)
{
    const std::string pidFile = m_tmp.file("tool.pid");
    replaceTool("xgcc", "echo $$ > " + BuildTest::shellQuote(pidFile) + ".tmp\nmv " + BuildTest::shellQuote(pidFile)
                            + ".tmp " + BuildTest::shellQuote(pidFile) + "\nexec sleep 60\n");
    for (int signal : {SIGHUP, SIGQUIT, SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(signal));
        fs::remove(pidFile);
        const pid_t cli = startBuild();
        ASSERT_GT(cli, 0);
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!TestSupport::exists(pidFile) && std::chrono::steady_clock::now() < limit)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(TestSupport::exists(pidFile)) << readFile(m_tmp.file("cli.out"));
        const pid_t tool = std::stoi(readFile(pidFile));

        ::kill(cli, signal);
        const int status = waitFor(cli, 20, [] {});
        if (status == -1) {
            ::kill(cli, SIGKILL);
            ::waitpid(cli, nullptr, 0);
        }
        EXPECT_NE(status, -1) << "varbuild-cli did not end";
        const bool toolLeft = alive(tool);
        if (toolLeft)
            ::kill(tool, SIGKILL);
        EXPECT_FALSE(toolLeft) << "the tool runs on after varbuild-cli ended";
        // A stop, not a tool error: the stopped line and 128 + the signal
        // (130 for Ctrl+C), like a shell reports an interrupted command.
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal) << status;
        const std::string out = readFile(m_tmp.file("cli.out"));
        EXPECT_TRUE(out.size() >= 15 && out.compare(out.size() - 15, 15, "Build stopped.\n") == 0) << out;
        EXPECT_EQ(std::string::npos, out.find("Tool returned error")) << out;
        // Nothing ran after the stopped compile: no link.
        EXPECT_EQ(std::string::npos, out.find(" -B ")) << out;
    }
}

// Run from a terminal, a tool that opens /dev/tty (a password prompt) fails
// at once; it used to be stopped by the terminal and the build hung.
TEST_F(CliTools, ToolAskingTheTerminalFailsInsteadOfHanging)
{
    replaceTool("xgcc", "if read answer < /dev/tty; then echo \"read $answer\"; exit 0; fi\necho 'xgcc: no terminal'\n"
                        "exit 9\n");
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    const pid_t cli = startBuild(::ptsname(master));
    ASSERT_GT(cli, 0);
    std::string screen;
    auto drain = [&] {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(master, buf, sizeof buf)) > 0)
            screen.append(buf, static_cast<size_t>(n));
    };
    const int status = waitFor(cli, 30, drain);
    if (status == -1) {
        ::kill(cli, SIGKILL);  // the session's end hangs up the stopped tool
        ::waitpid(cli, nullptr, 0);
    }
    drain();
    ::close(master);
    ASSERT_NE(status, -1) << "the build hung\n" << screen;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(std::string::npos, screen.find("xgcc: no terminal")) << screen;
    EXPECT_NE(std::string::npos, screen.find("Tool returned error: 9")) << screen;
}

// A program that cannot be found: the designed line, then one naming the
// program and every place it was looked for.
TEST_F(CliTools, MissingProgramIsNamedWithWhereItWasLookedFor)
{
    replaceTool("xgcc", "");
    pid_t cli = startBuild();
    int status = waitFor(cli, 60, [] {});
    ASSERT_NE(status, -1);
    std::string out = readFile(m_tmp.file("cli.out"));
    EXPECT_NE(std::string::npos, out.find("Error 2 on line 721\nCannot find the program \"" + m_tmp.file("kit/bin/xgcc")
                                          + "\"\nTool returned error: 2\n"))
        << out;

    // A bare name goes through the search: the Symbian tools are not there.
    fs::remove(m_tmp.file("kit/bin/xgcc"));
    fs::create_symlink(Kit + "/bin/xgcc", m_tmp.file("kit/bin/xgcc"));
    addProperties("<Property name=\"S60v3UID\" value=\"0x12345678\"/>");
    cli = startBuild();
    status = waitFor(cli, 120, [] {});
    ASSERT_NE(status, -1);
    out = readFile(m_tmp.file("cli.out"));
    const char* path = std::getenv("PATH");
    EXPECT_NE(std::string::npos,
              out.find("Running: bldmake bldfiles\nError 2 on line 721\nCannot find the program \"bldmake\": looked in "
                       "the directory of the running program (" + Kit + "/bin), VARNELDIR/bin (" + m_tmp.file("kit")
                       + "/bin) and PATH (" + (path ? path : "") + ")\nTool returned error: 2\n"))
        << out;
}

// Trailing and doubled ";" in the directory lists build with the kit's real
// tools: no bare -I or -s reaches them, and the program is this build's.
TEST_F(CliTools, EmptyDirectoryEntriesBuildWithTheRealTools)
{
    addProperties("<Property name=\"additionalIncludeDirectories\" value=\";src;;\"/>"
                  "<Property name=\"additionalLibraryDirectories\" value=\";\"/>");
    const pid_t cli = startBuild();
    const int status = waitFor(cli, 120, [] {});
    ASSERT_NE(status, -1);
    const std::string out = readFile(m_tmp.file("cli.out"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    EXPECT_EQ(std::string::npos, out.find("-I ")) << out;
    EXPECT_EQ(std::string::npos, out.find("-s ")) << out;
    EXPECT_NE(std::string::npos, out.find(" -Isrc -DKVPIP ")) << out;
    EXPECT_NE(std::string::npos, out.find("lintel: program " + m_tmp.file("demo/Output/program") + " written")) << out;
}

// A backslash in the project directory or in VARNELDIR is part of a Linux
// name: the build runs there with the kit's real tools and leaves no stray
// tree where the backslash would have been a separator. Stored paths of an
// imported project still have theirs turned into "/".
TEST_F(CliTools, BackslashesInTheProjectDirectoryAndRootAreKept)
{
    fs::create_directories(m_tmp.file("my\\projects"));
    fs::rename(m_tmp.file("demo"), m_tmp.file("my\\projects/demo"));
    fs::rename(m_tmp.file("kit"), m_tmp.file("the\\kit"));
    m_projectDir = "my\\projects/demo";
    m_kitName = "the\\kit";
    // A Windows-born stored path.
    const std::string project = m_tmp.file("my\\projects/demo/demo.vnp");
    std::string text = readFile(project);
    text.replace(text.find("src/util/fixed.c"), 16, "src\\util\\fixed.c");
    TestSupport::writeFile(project, text);

    const pid_t cli = startBuild();
    const int status = waitFor(cli, 180, [] {});
    ASSERT_NE(status, -1);
    const std::string out = readFile(m_tmp.file("cli.out"));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << out;
    const std::string output = m_tmp.file("my\\projects/demo/Output");
    EXPECT_NE(std::string::npos, out.find("Running: cmd /c mkdir " + output + "\n")) << out;
    EXPECT_NE(std::string::npos, out.find("Running: " + m_tmp.file("the\\kit/bin/xgcc") + " -g -o " + output + "/main.s "))
        << out;
    EXPECT_NE(std::string::npos, out.find(" " + m_tmp.file("my\\projects/demo/src/util/fixed.c") + "\n")) << out;
    EXPECT_NE(std::string::npos, out.find("-I" + m_tmp.file("the\\kit/include") + " ")) << out;
    EXPECT_TRUE(TestSupport::exists(output + "/program"));
    EXPECT_FALSE(TestSupport::exists(m_tmp.file("my"))) << "no stray tree";
    EXPECT_FALSE(TestSupport::exists(m_tmp.file("the")));
}

// An interrupt while a JAR is being zipped ends the zip's whole group and
// leaves no half-written JAR under Output; nothing is packaged after it.
TEST_F(CliTools, InterruptDuringZipLeavesNoHalfJar)
{
    const std::string groupFile = m_tmp.file("zip.group");
    replaceTool("zip", "for a; do case \"$a\" in *.jar) echo half > \"$a\";; esac; done\n"
                       "(sleep 600) &\necho $$ > " + BuildTest::shellQuote(groupFile) + ".tmp\nmv "
                       + BuildTest::shellQuote(groupFile) + ".tmp " + BuildTest::shellQuote(groupFile)
                       + "\nwait\n");
    const pid_t cli = startBuild();
    ASSERT_GT(cli, 0);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!TestSupport::exists(groupFile) && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(TestSupport::exists(groupFile)) << readFile(m_tmp.file("cli.out"));
    const pid_t group = std::stoi(readFile(groupFile));

    ::kill(cli, SIGINT);
    const int status = waitFor(cli, 20, [] {});
    if (status == -1) {
        ::kill(cli, SIGKILL);
        ::waitpid(cli, nullptr, 0);
    }
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    // The background sleep went with its group (orphans are reaped by init).
    bool gone = false;
    for (int i = 0; i < 250 && !gone; ++i) {
        gone = ::kill(-group, 0) == -1 && errno == ESRCH;
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!gone)
        ::kill(-group, SIGKILL);
    EXPECT_TRUE(gone) << "a process of the zip's group runs on";
    const std::string out = readFile(m_tmp.file("cli.out"));
    EXPECT_NE(std::string::npos, out.find("Build stopped.\n")) << out;
    EXPECT_EQ(out.find("Build stopped.\n"), out.size() - 15) << out;
    EXPECT_EQ(std::string::npos, out.find("Build complete")) << out;
    for (const auto& entry : fs::recursive_directory_iterator(m_tmp.file("demo/Output")))
        EXPECT_NE(".jar", entry.path().extension()) << entry.path();
}
