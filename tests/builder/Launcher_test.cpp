// A compiler launcher in front of every compile: the real ccache with a cache
// of the test's own, and the real distcc sending the compiles to a distccd
// that the test starts on 127.0.0.1. Outputs are byte for byte those of a
// build without a launcher.

#include "BuildFixture.h"

#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <netinet/in.h>
#include <regex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using BuildTest::shellQuote;
using TestSupport::readFile;
using TestSupport::runShell;

namespace fs = std::filesystem;

namespace {

const std::string BuiltKit = VARBUILD_KIT_DIR;

bool installed(const char* program)
{
    return runShell(std::string("command -v ") + program + " >/dev/null 2>&1").status == 0;
}

// A port on 127.0.0.1 that nothing listens on now.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool listening(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// distccd on 127.0.0.1 only, in the foreground of a child of ours, allowed to
// run exactly `compiler` (named by its full path in a command list of the
// test's own). Stopped when the object goes.
class Distccd {
public:
    Distccd(const std::string& dir, const std::string& compiler)
        : m_port(freePort())
        , m_log(dir + "/distccd.log")
    {
        TestSupport::writeFile(dir + "/commands", compiler + "\n");
        const std::string port = std::to_string(m_port);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setenv("DISTCC_CMDLIST", (dir + "/commands").c_str(), 1);
            ::setenv("TMPDIR", "/tmp", 1);
            std::freopen(m_log.c_str(), "w", stderr);
            std::vector<const char*> args = {"distccd", "--daemon", "--no-detach", "--log-stderr", "--log-level",
                                             "info", "--listen", "127.0.0.1", "--allow", "127.0.0.1", "--port",
                                             port.c_str(), "--jobs", "2"};
            // Run as root it must take another user's identity.
            if (::geteuid() == 0) {
                args.push_back("--user");
                args.push_back("nobody");
            }
            args.push_back(nullptr);
            ::execvp("distccd", const_cast<char* const*>(args.data()));
            ::_exit(127);
        }
        for (int i = 0; i < 100 && !listening(m_port); ++i)
            ::usleep(50000);
    }

    ~Distccd()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    int port() const { return m_port; }
    std::string log() const { return readFile(m_log); }

private:
    int m_port;
    std::string m_log;
    pid_t m_pid = -1;
};

class LauncherBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        // distccd may run as another user: it must reach the command list
        // and the compiler, so the kit's xgcc is copied here (the build tree
        // may lie where that user cannot look) and the rest linked.
        ::chmod(m_tmp.path().c_str(), 0755);
        fs::create_directories(m_tmp.file("kit/bin"));
        for (const auto& entry : fs::directory_iterator(BuiltKit))
            if (entry.path().filename() != "bin")
                fs::create_directory_symlink(entry.path(), m_tmp.file("kit") / entry.path().filename());
        for (const auto& entry : fs::directory_iterator(BuiltKit + "/bin"))
            if (entry.path().filename() == "xgcc")
                fs::copy_file(entry.path(), m_tmp.file("kit/bin/xgcc"));
            else
                fs::create_symlink(entry.path(), m_tmp.file("kit/bin") / entry.path().filename());
        fs::copy(std::string(VARBUILD_SOURCE_DIR) + "/kit/data/projects/demo", m_tmp.file("demo"),
                 fs::copy_options::recursive);
    }

    TestSupport::ShellRun build(const std::string& environment, const std::string& options)
    {
        return runShell(environment + " VARNELDIR=" + shellQuote(m_kit) + " " + shellQuote(BuiltKit + "/bin/varbuild-cli")
                        + " build " + options + " " + shellQuote(m_tmp.file("demo/demo.vnp")) + " </dev/null 2>&1");
    }

    std::map<std::string, std::string> outputs() const
    {
        std::map<std::string, std::string> files;
        for (const char* name : {"main.s", "world.s", "fixed.s", "program", "resources"})
            files[name] = readFile(m_tmp.file("demo/Output/") + name);
        return files;
    }

    // The Output of a build without a launcher, then removed.
    std::map<std::string, std::string> plainOutputs()
    {
        const TestSupport::ShellRun plain = build("", "");
        EXPECT_EQ(plain.status, 0) << plain.output;
        const auto files = outputs();
        fs::remove_all(m_tmp.file("demo/Output"));
        return files;
    }

    TestSupport::TempDir m_tmp;
    const std::string m_kit = m_tmp.file("kit");
};

TEST_F(LauncherBuild, CcacheHitsAWarmCacheWithTheSameOutputs)
{
    if (!installed("ccache"))
        GTEST_SKIP() << "ccache is not installed (scripts/setup.sh installs it)";
    const auto plain = plainOutputs();
    const std::string cache = "CCACHE_DIR=" + shellQuote(m_tmp.file("ccache"));

    // From the environment; the option wins over it.
    for (const std::string& environment : {cache + " VARBUILD_COMPILER_LAUNCHER=ccache",
                                          cache + " VARBUILD_COMPILER_LAUNCHER=no-such-launcher"}) {
        SCOPED_TRACE(environment);
        const bool fromOption = environment.find("no-such") != std::string::npos;
        const TestSupport::ShellRun run = build(environment, fromOption ? "--launcher ccache" : "");
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_NE(run.output.find("Running: ccache " + m_kit + "/bin/xgcc -g -o "), std::string::npos) << run.output;
        EXPECT_EQ(outputs(), plain);
    }
    // The second build found all three compiles in the cache.
    const std::string stats = runShell(cache + " ccache --show-stats 2>&1").output;
    std::smatch hits;
    ASSERT_TRUE(std::regex_search(stats, hits, std::regex("\n *Hits: +([0-9]+) /"))) << stats;
    EXPECT_EQ(hits[1], "3") << stats;
}

TEST_F(LauncherBuild, DistccSendsEveryCompileToTheFarm)
{
    if (!installed("distcc") || !installed("distccd"))
        GTEST_SKIP() << "distcc is not installed (scripts/setup.sh installs it)";
    const auto plain = plainOutputs();
    Distccd daemon(m_tmp.path(), m_kit + "/bin/xgcc");
    ASSERT_TRUE(listening(daemon.port())) << daemon.log();
    fs::create_directories(m_tmp.file("distcc"));
    // No falling back to compiling here: every compile must reach distccd.
    const std::string environment = "DISTCC_HOSTS=127.0.0.1:" + std::to_string(daemon.port())
        + " DISTCC_FALLBACK=0 DISTCC_DIR=" + shellQuote(m_tmp.file("distcc"));

    // Build Changed adds the compiler's header lists, which distcc must carry.
    for (const std::string options : {"--launcher distcc", "--changed --launcher \"distcc\" -j 3"}) {
        SCOPED_TRACE(options);
        fs::remove_all(m_tmp.file("demo/Output"));
        const TestSupport::ShellRun run = build(environment, options);
        ASSERT_EQ(run.status, 0) << run.output << daemon.log();
        EXPECT_NE(run.output.find("Running: distcc " + m_kit + "/bin/xgcc -g -o "), std::string::npos) << run.output;
        EXPECT_EQ(outputs(), plain);
    }
    const std::string log = daemon.log();
    size_t compiled = 0;
    for (size_t at = 0; (at = log.find("COMPILE_OK", at)) != std::string::npos; ++at)
        ++compiled;
    EXPECT_EQ(compiled, 6u) << log;
}

} // namespace
