// varbuild-cli update and check-release end to end, and the kit's
// updateserver answering the update manager.

#include "LoopbackServer.h"
#include "ZipWriter.h"
#include "core/UpdateInterface.h"
#include "core/UpdateManager.h"
#include "core/profiles/ProfileDatabase.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <fcntl.h>
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
    EXPECT_NE(result.err.find("trying to exec: " + root + "/bin/unzip -o " + root + "/update.zip -d "),
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
    const Case cases[] = {
        {"current", LoopbackServer::ok("0"), "", 0, "Nothing to update - you are using the latest profile database\n"},
        {"server error", LoopbackServer::ok("yes"), "", 1, "Could not check for updates, probably because of a"},
        {"refused archive", LoopbackServer::ok("1"), hostile.bytes(), 1,
         "The profile update could not be installed: the archive entry \"../escape\""},
        {"no archive", LoopbackServer::ok("1"), "", 1, "The profile update failed, probably because of a network"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serve("/currentProfile/index.php?version=3", c.versionAnswer);
        serve("/update/index.php", c.archive.empty() ? LoopbackServer::raw("HTTP/1.0 500 Oops\r\n\r\n")
                                                     : LoopbackServer::ok(c.archive));
        const auto result = run({"update"});
        EXPECT_EQ(result.status, c.status) << result.out << result.err;
        EXPECT_NE(result.out.find(c.message), std::string::npos) << result.out;
        EXPECT_EQ(readFile(root + "/profiles/version.dat"), "3\n");
        EXPECT_FALSE(fs::exists(dir.file("escape")));
    }
    const auto closed = run({"update"}, "127.0.0.1:" + std::to_string(NetTest::closedPort()));
    EXPECT_EQ(closed.status, 1);
    EXPECT_NE(closed.out.find("Could not check for updates"), std::string::npos);
    EXPECT_EQ(run({"update", "extra"}).status, 1);
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
    // Without an executor the archive arrives but is not unpacked.
    EXPECT_EQ(updates.profileUpdateIsAvailable(true), UpdateManager::Failed);
    EXPECT_NE(updates.lastError().find("no tool runner"), std::string::npos) << updates.lastError();
    EXPECT_EQ(readFile(root + "/profiles/version.dat"), "3\n");

    // Without its files the server answers 404: a server error.
    fs::remove(served + "/profiles.dat");
    EXPECT_EQ(updates.askServer(UpdateManager::profileQueryUrl(3)), BRASK_SERVER_ERROR);
    ::setenv("VARNEL_UPDATE_SERVER", "127.0.0.1:9", 1);
}

} // namespace
