// varbuild-cli update and check-release end to end, and the kit's
// updateserver answering the update manager.

#include "LoopbackServer.h"
#include "ZipWriter.h"
#include "core/update/UpdateInterface.h"
#include "core/update/UpdateManager.h"
#include "core/profiles/ProfileDatabase.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace Brask;
using NetTest::LoopbackServer;
using NetTest::Reply;
using NetTest::ZipWriter;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

void makeInstallation(const std::string& root)
{
    writeFile(root + "/profiles/vendors/definitions.txt", "KV_PROF_SUPPORT_CAMERA,Camera\n");
    writeFile(root + "/profiles/vendors/Acme/Rocket/runtime.txt", "profiles\\runtimes\\1\n");
    writeFile(root + "/profiles/version.dat", "3\n");
    writeFile(root + "/bin/version.dat", "7\n");
    fs::create_symlink("/usr/bin/unzip", root + "/bin/unzip");
}

std::string newerArchive()
{
    ZipWriter zip;
    zip.add("profiles/", "", 040755);
    zip.add("profiles/version.dat", "4\n");
    zip.add("profiles/vendors/Acme/Comet/", "", 040755);
    zip.add("profiles/vendors/Acme/Comet/runtime.txt", "profiles\\runtimes\\1\n");
    return zip.bytes();
}

// The newer database as files under DIR/profiles.
std::string newerTree(const std::string& dir)
{
    writeFile(dir + "/profiles/version.dat", "4\n");
    writeFile(dir + "/profiles/vendors/Acme/Comet/runtime.txt", "profiles\\runtimes\\1\n");
    return dir;
}

// What `command` (run in `dir`, writing `dir`/out.zip) made of the tree.
std::string archiveBy(const std::string& dir, const std::string& command)
{
    const auto made = TestSupport::runShell("cd '" + dir + "' && " + command + " 2>&1");
    EXPECT_EQ(made.status, 0) << command << ": " << made.output;
    return readFile(dir + "/out.zip");
}

const std::string ArchiveTool = VARBUILD_SOURCE_DIR "/tests/net/make_archive.py";

// Lowers this process's file-size limit (children inherit it) with the
// limit's signal ignored, so a write past it fails instead of killing.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit lower = m_saved;
        lower.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lower);
        m_handler = ::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved{};
    sighandler_t m_handler;
};

class CliUpdate : public ::testing::Test {
public:
    void SetUp() override { makeInstallation(root); }

    void serve(const std::string& path, Reply reply)
    {
        std::lock_guard<std::mutex> guard(lock);
        replies[path] = std::move(reply);
    }
    TestSupport::ProgramRun run(const std::vector<std::string>& args, const std::string& address = "")
    {
        return TestSupport::runCli(dir.path(), root, args,
                                   {"VARNEL_UPDATE_SERVER=" + (address.empty() ? server.address() : address)});
    }

    TempDir dir;
    std::string root = dir.file("kit");
    std::mutex lock;
    std::map<std::string, Reply> replies;
    LoopbackServer server{[this](const std::string& path) {
        std::lock_guard<std::mutex> guard(lock);
        const auto it = replies.find(path);
        return it == replies.end() ? LoopbackServer::raw("HTTP/1.0 404 Not Found\r\n\r\n") : it->second;
    }};
};

TEST_F(CliUpdate, UpdateInstallsANewerDatabase)
{
    serve("/currentProfile/index.php?version=3", LoopbackServer::ok("1"));
    serve("/update/index.php", LoopbackServer::ok(newerArchive()));
    const auto result = run({"update"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("A new profile database is ready for download.\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("The profile update was successfully installed.\n"), std::string::npos);
    EXPECT_NE(result.err.find("Unpacking " + root + "/update.zip into " + root + "/.profiles-update in one pass"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(readFile(root + "/profiles/version.dat"), "4\n");
    EXPECT_FALSE(TestSupport::exists(root + "/update.zip"));
    ProfileDatabase db;
    db.load(root + "/profiles/vendors");
    EXPECT_NE(db.findDevice("Acme", "Comet"), nullptr);
}

TEST_F(CliUpdate, UpdateOutcomesAndExitStatus)
{
    struct Case {
        const char* name;
        Reply versionAnswer;
        std::string archive;
        int status;
        const char* message;
    };
    ZipWriter hostile;
    hostile.add("../escape", "x");
    const std::string installed = "The profile update was successfully installed.\n";
    const std::string jar = newerTree(dir.file("jar"));
    const std::string python = newerTree(dir.file("python"));
    const std::string bomb = dir.file("bomb");
    fs::create_directories(bomb);
    // One unzip writes the entries in the central directory's order, which
    // need not be the order of their data; a directory may carry bytes.
    ZipWriter reordered;
    reordered.add("profiles/", "", 040755);
    reordered.add("profiles/version.dat", "4\n");
    reordered.add("profiles/notes/", "bytes of a directory", 040755);
    reordered.add("profiles/vendors/Acme/Comet/runtime.txt", "profiles\\runtimes\\1\n");
    const Case cases[] = {
        {"current", LoopbackServer::ok("0"), "", 0, "Nothing to update - you are using the latest profile database\n"},
        {"listed out of order", LoopbackServer::ok("1"), reordered.bytes(true), 0, installed.c_str()},
        {"server error", LoopbackServer::ok("yes"), "", 1, "Could not check for updates, probably because of a"},
        {"refused archive", LoopbackServer::ok("1"), hostile.bytes(), 1,
         "The profile update could not be installed: the archive entry \"../escape\""},
        {"no archive", LoopbackServer::ok("1"), "", 1, "The profile update failed, probably because of a network"},
        // Directory entries without a directory mode, files without a file type.
        {"made by jar", LoopbackServer::ok("1"), archiveBy(jar, "jar cfM out.zip profiles"), 0, installed.c_str()},
        {"made by zipfile", LoopbackServer::ok("1"), archiveBy(python, "python3 " + ArchiveTool + " writestr . out.zip"),
         0, installed.c_str()},
        // Listed as 1 KiB, inflates to 128 MiB: cut off at its listed size,
        // far below this test's file-size limit.
        {"lying sizes", LoopbackServer::ok("1"),
         archiveBy(bomb, "python3 " + ArchiveTool + " bomb out.zip profiles/bomb.bin 1024 134217728"), 1,
         "The profile update could not be installed: the archive entry \"profiles/bomb.bin\" does not unpack to "
         "the 1024 bytes its listing gives. The installed profile database is unchanged.\n"},
        // The same before another entry: the one stream is cut all the same.
        {"lying size before another entry", LoopbackServer::ok("1"),
         archiveBy(bomb, "python3 " + ArchiveTool + " bomb out.zip profiles/bomb.bin 1024 134217728 profiles/after"), 1,
         "The profile update could not be installed: the archive entry \"profiles/bomb.bin\" does not "},
    };
    const FileSizeLimit limit(64 << 20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(root + "/profiles/version.dat", "3\n");
        serve("/currentProfile/index.php?version=3", c.versionAnswer);
        serve("/update/index.php", c.archive.empty() ? LoopbackServer::raw("HTTP/1.0 500 Oops\r\n\r\n")
                                                     : LoopbackServer::ok(c.archive));
        const auto result = run({"update"});
        EXPECT_EQ(result.status, c.status) << result.out << result.err;
        EXPECT_NE(result.out.find(c.message), std::string::npos) << result.out;
        EXPECT_EQ(readFile(root + "/profiles/version.dat"), c.status == 0 && c.archive.size() ? "4\n" : "3\n");
        EXPECT_FALSE(fs::exists(dir.file("escape")));
        EXPECT_FALSE(fs::exists(root + "/profiles/bomb.bin"));
        EXPECT_FALSE(fs::exists(root + "/.profiles-update"));
        // The replaced database is gone before the command ends.
        EXPECT_FALSE(fs::exists(root + "/.profiles-old"));
        EXPECT_FALSE(fs::exists(root + "/update.zip"));
    }
    const auto closed = run({"update"}, "127.0.0.1:" + std::to_string(NetTest::closedPort()));
    EXPECT_EQ(closed.status, 1);
    EXPECT_NE(closed.out.find("Could not check for updates"), std::string::npos);
    EXPECT_EQ(run({"update", "extra"}).status, 1);

    // A server dripping a byte every 50 ms: a whole minute's answer. The
    // time-out users set bounds each small exchange as a whole.
    for (const char* command : {"update", "check-release"}) {
        SCOPED_TRACE(command);
        const std::string header = "HTTP/1.0 200 OK\r\nX-Pad: " + std::string(1200, 'p') + "\r\n\r\n";
        serve("/currentProfile/index.php?version=3", Reply{header, false, 50});
        serve("/latest/", Reply{header, false, 50});
        const long long before = server.bytesSent();
        const auto dripped = TestSupport::runCli(dir.path(), root, {command},
                                                 {"VARNEL_UPDATE_SERVER=" + server.address(), "VARNEL_HTTP_TIMEOUT=2"});
        EXPECT_EQ(dripped.status, 1);
        EXPECT_NE(dripped.err.find("the header did not arrive whole within 2000 ms"), std::string::npos) << dripped.err;
        EXPECT_LT(server.bytesSent() - before, 600);
    }
}

TEST_F(CliUpdate, TwoUpdatesAtOnceLeaveAWholeDatabase)
{
    serve("/update/index.php", LoopbackServer::ok(newerArchive()));
    // The one that comes second may already see the new version.
    serve("/currentProfile/index.php?version=3", LoopbackServer::ok("1"));
    serve("/currentProfile/index.php?version=4", LoopbackServer::ok("1"));
    fs::create_directories(dir.file("first"));
    fs::create_directories(dir.file("second"));
    const std::vector<std::string> environment{"VARNEL_UPDATE_SERVER=" + server.address()};
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        writeFile(root + "/profiles/version.dat", "3\n");
        TestSupport::ProgramRun runs[2];
        std::thread second([&] {
            // Started together, or up to 150 ms apart.
            std::this_thread::sleep_for(std::chrono::milliseconds(round * 37 % 150));
            runs[1] = TestSupport::runCli(dir.file("second"), root, {"update"}, environment);
        });
        runs[0] = TestSupport::runCli(dir.file("first"), root, {"update"}, environment);
        second.join();
        // Each says what happened: installed, or refused because the other
        // held the installation too long.
        for (const auto& r : runs) {
            const bool installed = r.out.find("The profile update was successfully installed.") != std::string::npos;
            EXPECT_EQ(r.status, installed ? 0 : 1) << r.out << r.err;
            if (!installed) {
                EXPECT_NE(r.out.find("another profile update is running"), std::string::npos) << r.out << r.err;
            }
        }
        std::string reason;
        EXPECT_TRUE(ProfileDatabase::isLoadable(root + "/profiles/vendors", &reason)) << reason;
        EXPECT_EQ(readFile(root + "/profiles/version.dat"), "4\n");
        EXPECT_TRUE(fs::exists(root + "/profiles/vendors/Acme/Comet/runtime.txt"));
        EXPECT_FALSE(fs::exists(root + "/.profiles-update"));
        EXPECT_FALSE(fs::exists(root + "/update.zip"));
    }
}

TEST_F(CliUpdate, CtrlCEndsADownloadAtOnceWithNothingInstalled)
{
    serve("/currentProfile/index.php?version=3", LoopbackServer::ok("1"));
    serve("/update/index.php", Reply{"HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\nPK", true});
    const std::string program = VARBUILD_KIT_DIR "/bin/varbuild-cli";
    const std::vector<std::string> environment{"VARNELDIR=" + root, "VARNEL_UPDATE_SERVER=" + server.address()};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devnull = ::open("/dev/null", O_WRONLY);
        ::dup2(devnull, 1);
        ::dup2(devnull, 2);
        const char* envp[] = {environment[0].c_str(), environment[1].c_str(), nullptr};
        ::execle(program.c_str(), program.c_str(), "update", nullptr, envp);
        ::_exit(127);
    }
    for (int i = 0; i < 500 && server.requests().size() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(server.requests().size(), 2u);
    ::kill(pid, SIGINT);
    int status = 0;
    for (int i = 0; i < 250 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (::waitpid(pid, &status, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "Ctrl-C did not end the update";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_EQ(readFile(root + "/profiles/version.dat"), "3\n");
    EXPECT_FALSE(fs::exists(root + "/update.zip"));
    EXPECT_FALSE(fs::exists(root + "/.profiles-update"));
}

TEST_F(CliUpdate, ARemovalCutShortIsFinishedByTheNextUpdate)
{
    serve("/currentProfile/index.php?version=3", LoopbackServer::ok("1"));
    serve("/update/index.php", LoopbackServer::ok(newerArchive()));
    // Enough files that removing the replaced database takes a moment.
    for (int i = 0; i < 1500; ++i)
        writeFile(root + "/profiles/vendors/Acme/Rocket/notes/" + std::to_string(i) + ".txt", "note\n");
    const std::string installed = "The profile update was successfully installed.";
    for (const bool killed : {true, false}) {
        SCOPED_TRACE(killed ? "killed once the result is out" : "what a killed removal leaves");
        writeFile(root + "/profiles/version.dat", "3\n");
        if (killed) {
            const auto first = TestSupport::runCli(dir.path(), root, {"update"},
                                                   {"VARNEL_UPDATE_SERVER=" + server.address()}, [&](int pid) {
                for (int i = 0; i < 1500 && readFile(dir.file("cli.out")).find(installed) == std::string::npos; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                ::kill(pid, SIGKILL);
            });
            EXPECT_NE(first.out.find(installed), std::string::npos) << first.out << first.err;
            writeFile(root + "/profiles/version.dat", "3\n");
        } else {
            writeFile(root + "/.profiles-old/tree-cut/profiles/vendors/Acme/Rocket/runtime.txt", "x\n");
            fs::create_directories(root + "/.profiles-old/tree-cut/profiles/vendors/Acme/Nova");
        }
        const auto next = run({"update"});
        EXPECT_EQ(next.status, 0) << next.out << next.err;
        EXPECT_EQ(readFile(root + "/profiles/version.dat"), "4\n");
        ProfileDatabase db;
        db.load(root + "/profiles/vendors");
        EXPECT_NE(db.findDevice("Acme", "Comet"), nullptr);
        // The archive laid over the old database: what it does not carry stays.
        EXPECT_EQ(readFile(root + "/profiles/vendors/Acme/Rocket/notes/1499.txt"), "note\n");
        EXPECT_FALSE(fs::exists(root + "/.profiles-old"));
        EXPECT_FALSE(fs::exists(root + "/.profiles-update"));
    }
}

TEST_F(CliUpdate, CheckReleasePrintsTheBox)
{
    struct Case {
        std::string answer;
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const std::string closed = "127.0.0.1:" + std::to_string(NetTest::closedPort());
    const Case cases[] = {
        {"12", {"check-release"}, 0,
         std::string("New update available\nA new version of Varnel is available for download at ") + MakerWebSite
             + "\n"},
        {"7", {"check-release"}, 0, "There are no new updates\nYou are running the latest version of Varnel.\n"},
        {"7", {"check-release", "--silent"}, 0, ""},
        {"5", {"check-release", "--silent"}, 0,
         "Dude!\nYou're running a future version of Varnel, potentially doing serious damage to the spacetime "
         "continuum!\n"},
        {"", {"check-release"}, 1,
         "The check for updates could not be performed\nSomething went wrong with checking for updates. Check "
         "network cables, firewalls and that sort of stuff.\n"},
        {"", {"check-release", "--silent"}, 1, ""},
        {"abc", {"check-release", "--silent"}, 1, "Network error\nCould not connect to server to check for updates\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer + (c.args.size() > 1 ? " silent" : ""));
        serve("/latest/", LoopbackServer::ok(c.answer));
        const auto result = run(c.args);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
    }
    const auto result = run({"check-release", "--silent"}, closed);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Network error\nCould not connect to server to check for updates\n");
    EXPECT_NE(result.err.find("serverVersion: 0\n"), std::string::npos) << result.err;
    EXPECT_EQ(run({"check-release", "--loud"}).status, 1);
}

// The kit's updateserver, started on a free port and stopped by the test.
class KitServer {
public:
    explicit KitServer(const std::string& directory)
    {
        const std::string portFile = directory + ".port";
        const std::string program = VARBUILD_KIT_DIR "/bin/updateserver";
        m_pid = ::fork();
        if (m_pid == 0) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::execl(program.c_str(), program.c_str(), "--port-file", portFile.c_str(), directory.c_str(), nullptr);
            ::_exit(127);
        }
        for (int i = 0; i < 500 && m_port == 0; ++i) {
            const std::string text = readFile(portFile);
            if (!text.empty())
                m_port = std::atoi(text.c_str());
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ~KitServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }
    int port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// lighttpd with its default settings, serving `root` on 127.0.0.1 and a free
// port; stopped with the object. port() is 0 when it did not come up.
class Lighttpd {
public:
    static constexpr const char* Program = "/usr/sbin/lighttpd";

    explicit Lighttpd(const std::string& root)
    {
        const int port = NetTest::closedPort();
        const std::string conf = root + ".conf";
        writeFile(conf, "server.document-root = \"" + root + "\"\nserver.bind = \"127.0.0.1\"\nserver.port = "
                            + std::to_string(port) + "\nserver.errorlog = \"" + root + ".log\"\n"
                            + "index-file.names = (\"index.html\")\n");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::execl(Program, Program, "-D", "-f", conf.c_str(), nullptr);
            ::_exit(127);
        }
        // Up once it takes connections.
        for (int i = 0; i < 250 && m_port == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(static_cast<uint16_t>(port));
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                m_port = port;
            ::close(fd);
        }
    }
    ~Lighttpd()
    {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    int port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

TEST(RealWebServer, ServesTheReleaseCheckAndTheUpdate)
{
    if (::access(Lighttpd::Program, X_OK) != 0)
        GTEST_SKIP() << Lighttpd::Program << " is not installed";
    TempDir dir;
    const std::string root = dir.file("kit");
    makeInstallation(root);
    // The three answers as plain files; its index file makes "/latest/" work.
    const std::string served = dir.file("www");
    writeFile(served + "/latest/index.html", "12");
    writeFile(served + "/currentProfile/index.php", "1");
    writeFile(served + "/update/index.php", newerArchive());
    Lighttpd server(served);
    ASSERT_NE(server.port(), 0) << readFile(served + ".log");
    const std::vector<std::string> environment{"VARNEL_UPDATE_SERVER=127.0.0.1:" + std::to_string(server.port())};

    const auto release = TestSupport::runCli(dir.path(), root, {"check-release"}, environment);
    EXPECT_EQ(release.status, 0) << release.err;
    EXPECT_EQ(release.out.rfind("New update available\n", 0), 0u) << release.out << release.err;
    const auto update = TestSupport::runCli(dir.path(), root, {"update"}, environment);
    EXPECT_EQ(update.status, 0) << update.out << update.err;
    EXPECT_EQ(readFile(root + "/profiles/version.dat"), "4\n");
}

class Messages : public UpdateInterface {
public:
    void showMessage(const KVUtil::String& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

TEST(KitUpdateServer, AnswersTheUpdateManager)
{
    TempDir dir;
    const std::string root = dir.file("kit");
    makeInstallation(root);
    const std::string served = dir.file("served");
    writeFile(served + "/release.dat", "9\n");
    writeFile(served + "/profiles.dat", "4\n");
    writeFile(served + "/update.zip", newerArchive());
    KitServer server(served);
    ASSERT_NE(server.port(), 0);
    ::setenv("VARNEL_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);

    UpdateManager updates(root, nullptr);
    Messages messages;
    updates.setInterface(&messages);
    std::string body;
    EXPECT_EQ(updates.fetchLatestRelease(body), 1);
    EXPECT_EQ(body, "9");
    EXPECT_EQ(updates.askServer(UpdateManager::profileQueryUrl(3)), 0);
    EXPECT_EQ(updates.askServer(UpdateManager::profileQueryUrl(-1)), 0);
    EXPECT_EQ(updates.askServer(UpdateManager::profileQueryUrl(4)), 1);
    EXPECT_EQ(updates.askServer(UpdateManager::profileQueryUrl(5)), 1);
    // No executor is needed to unpack; update.zip goes all the same.
    EXPECT_EQ(updates.profileUpdateIsAvailable(true), UpdateManager::Installed);
    EXPECT_EQ(readFile(root + "/profiles/version.dat"), "4\n");
    EXPECT_FALSE(fs::exists(root + "/update.zip"));

    // Without its files the server answers 404: a server error.
    fs::remove(served + "/profiles.dat");
    EXPECT_EQ(updates.askServer(UpdateManager::profileQueryUrl(3)), BRASK_SERVER_ERROR);
    ::setenv("VARNEL_UPDATE_SERVER", "127.0.0.1:9", 1);
}

} // namespace
