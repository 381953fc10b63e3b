// The profile-database update and the release check end to end: a real
// installation on disk, real zip archives, the kit's Info-ZIP and cmd, and a
// scripted loopback update server.

#include "LoopbackServer.h"
#include "ZipWriter.h"
#include "cli/ConsoleExecutor.h"
#include "core/update/InstallLock.h"
#include "core/update/ArchiveListing.h"
#include "core/update/ProfileUpdateInstaller.h"
#include "core/ProjectManager.h"
#include "core/update/ReleaseCheck.h"
#include "core/update/TreeRemoval.h"
#include "core/update/UpdateInterface.h"
#include "core/update/UpdateManager.h"
#include "core/profiles/ProfileDatabase.h"
#include "platform/ProcessRunner.h"
#include "support/Executors.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace Brask;
using NetTest::LoopbackServer;
using NetTest::Reply;
using NetTest::ZipWriter;
using TestSupport::exists;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

// Runs each network call on a thread of its own, as the window does, and
// records the messages.
class FakeInterface : public UpdateInterface {
public:
    void showMessage(const KVUtil::String& text) override { messages.push_back(text); }
    void runNetworkCall(const std::function<void()>& call, HttpProgress* progress) override
    {
        ++calls;
        if (progress)
            ++withProgress;
        std::thread worker(call);
        worker.join();
    }

    std::vector<std::string> messages;
    int calls = 0;
    int withProgress = 0;
};

// Every file, directory and link below `dir`, with file contents and link
// targets, so "unchanged byte for byte" is one comparison. The installation's
// lock file stays once made, and holds nothing.
std::map<std::string, std::string> snapshot(const std::string& dir)
{
    std::map<std::string, std::string> tree;
    for (auto it = fs::recursive_directory_iterator(dir); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path().filename() == ".profiles-update.lock")
            continue;
        // Lexically: a link's key is its own name, not where it leads.
        const std::string rel = it->path().lexically_relative(dir).string();
        if (it->is_symlink())
            tree[rel] = "link:" + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            tree[rel] = "dir";
        else
            tree[rel] = "file:" + readFile(it->path().string());
    }
    return tree;
}

const char* const Definitions = "KV_PROF_SUPPORT_CAMERA,Camera\nKV_PROF_CONST_SCREENSIZE_X,ScreenSize/X\n";

class UpdateFlow : public ::testing::Test {
public:
    void SetUp() override
    {
        root = dir.file("kit");
        writeFile(root + "/profiles/vendors/definitions.txt", Definitions);
        writeFile(root + "/profiles/vendors/Acme/Rocket/runtime.txt", "profiles\\runtimes\\1\n");
        writeFile(root + "/profiles/vendors/Acme/Rocket/profile.h", "#define KV_PROF_SUPPORT_CAMERA\n");
        writeFile(root + "/profiles/runtimes/1/VarnelRuntime.txt", "runtime one\n");
        writeFile(root + "/profiles/version.dat", "3\n");
        writeFile(root + "/bin/version.dat", "7\n");
        fs::create_symlink("/usr/bin/unzip", root + "/bin/unzip");
        fs::create_symlink(VARBUILD_KIT_DIR "/bin/cmd", root + "/bin/cmd");
        ::setenv("VARNEL_UPDATE_SERVER", server.address().c_str(), 1);
        // The kit's cmd is found in ROOT/bin, as for the window.
        ::setenv("VARNELDIR", root.c_str(), 1);
        manager.setInterface(&ui);
    }
    void TearDown() override
    {
        ::setenv("VARNEL_UPDATE_SERVER", "127.0.0.1:9", 1);
        ::unsetenv("VARNELDIR");
    }

    Reply answer(const std::string& path)
    {
        std::lock_guard<std::mutex> guard(lock);
        const auto it = replies.find(path);
        return it == replies.end() ? LoopbackServer::raw("HTTP/1.0 404 Not Found\r\n\r\n") : it->second;
    }
    void serve(const std::string& path, Reply reply)
    {
        std::lock_guard<std::mutex> guard(lock);
        replies[path] = std::move(reply);
    }
    void offerArchive(const std::string& zip)
    {
        serve("/currentProfile/index.php?version=3", LoopbackServer::ok("1"));
        serve("/update/index.php", LoopbackServer::ok(zip));
    }

    // Zips the tree under SRC/profiles with Info-ZIP's zip (links kept as links).
    std::string zipTree(const std::string& src)
    {
        const std::string zip = src + ".zip";
        TestSupport::DirectoryGuard guard;
        EXPECT_EQ(::chdir(src.c_str()), 0);
        Platform::ProcessRunner runner;
        const auto result = runner.run("zip -q -r -y -X " + zip + " profiles", true, [](const char*, size_t) {});
        EXPECT_EQ(result.code, 0);
        return readFile(zip);
    }
    // A newer database: a new device, a changed profile, a new version file.
    std::string newerDatabase(const std::string& name = "newer")
    {
        const std::string src = dir.file(name);
        writeFile(src + "/profiles/version.dat", "4\n");
        writeFile(src + "/profiles/vendors/definitions.txt", std::string(Definitions) + "KV_PROF_SUPPORT_GPS,GPS\n");
        writeFile(src + "/profiles/vendors/Acme/Rocket/profile.h",
                  "#define KV_PROF_SUPPORT_CAMERA\n#define KV_PROF_SUPPORT_GPS\n");
        writeFile(src + "/profiles/vendors/Acme/Comet/runtime.txt", "profiles\\runtimes\\1\n");
        writeFile(src + "/profiles/vendors/Acme/Comet/profile.h", "#define KV_PROF_SUPPORT_GPS\n");
        // unzip reads names as patterns: these must match only themselves.
        writeFile(src + "/profiles/vendors/Acme/Comet/notes[1]*?.txt", "literal\n");
        writeFile(src + "/profiles/vendors/Acme/Comet/notes1ab.txt", "pattern\n");
        writeFile(src + "/profiles/vendors/Acme/Comet/empty.txt", "");
        return src;
    }

    TempDir dir;
    std::string root;
    std::mutex lock;
    std::map<std::string, Reply> replies;
    LoopbackServer server{[this](const std::string& path) { return answer(path); }};
    FakeInterface ui;
    TestSupport::ProcessExecutor executor;
    UpdateManager manager{dir.file("kit"), &executor};
};

TEST_F(UpdateFlow, ANewerDatabaseIsInstalledAndLoads)
{
    // The manager read the version files when it was made, before they existed.
    UpdateManager updates(root, &executor);
    updates.setInterface(&ui);
    ASSERT_EQ(updates.getProfileVersion(), 3);
    offerArchive(zipTree(newerDatabase()));

    EXPECT_EQ(updates.profileUpdateIsAvailable(true), UpdateManager::Installed);
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"A new profile database is ready for download.",
                                                     "The profile update was successfully installed."}));
    // Unpacked entry by entry through unzip -p, out of sight; only the
    // clean-up is a command of the pane.
    EXPECT_EQ(executor.ran, std::vector<std::string>{"cmd /c del /q " + root + "/update.zip"});
    // The query, the download and the install, each cancellable.
    EXPECT_EQ(ui.calls, 3);
    EXPECT_EQ(ui.withProgress, 3);

    ProfileDatabase db;
    db.load(root + "/profiles/vendors");
    ASSERT_NE(db.findDevice("Acme", "Comet"), nullptr);
    EXPECT_EQ(db.getFeatures().size(), 2u);
    EXPECT_EQ(readFile(root + "/profiles/version.dat"), "4\n");
    EXPECT_EQ(readFile(root + "/profiles/vendors/Acme/Comet/notes[1]*?.txt"), "literal\n");
    EXPECT_TRUE(exists(root + "/profiles/vendors/Acme/Comet/empty.txt"));
    // What the archive does not carry stays.
    EXPECT_EQ(readFile(root + "/profiles/runtimes/1/VarnelRuntime.txt"), "runtime one\n");
    EXPECT_FALSE(exists(root + "/update.zip"));
    EXPECT_FALSE(exists(root + "/.profiles-update"));

    // Until the program restarts it keeps asking with the version it read.
    serve("/currentProfile/index.php?version=3", LoopbackServer::ok("0"));
    EXPECT_EQ(updates.profileUpdateIsAvailable(false), UpdateManager::Current);
    EXPECT_EQ(server.requests().back().substr(0, 45), "GET /currentProfile/index.php?version=3 HTTP/");
}

struct AnswerCase {
    const char* name;
    std::string reply;
    bool silent;
    UpdateManager::Outcome outcome;
    std::vector<std::string> messages;
};

TEST_F(UpdateFlow, VersionAnswers)
{
    const std::string current = "Nothing to update - you are using the latest profile database";
    const std::string error = "Could not check for updates, probably because of a network error. Check your "
                              "connection, firewalls etc.";
    const std::string ok0 = LoopbackServer::ok("0").bytes;
    const AnswerCase cases[] = {
        {"current, silent", ok0, true, UpdateManager::Current, {}},
        {"current", ok0, false, UpdateManager::Current, {current}},
        {"line end after 1", LoopbackServer::ok("1\n").bytes, true, UpdateManager::ServerError, {error}},
        {"blank after 0", LoopbackServer::ok("0 ").bytes, false, UpdateManager::ServerError, {error}},
        {"garbage", LoopbackServer::ok("<html>oops</html>").bytes, true, UpdateManager::ServerError, {error}},
        {"empty", LoopbackServer::ok("").bytes, true, UpdateManager::ServerError, {error}},
        {"no length", "HTTP/1.0 200 OK\r\n\r\n0", true, UpdateManager::ServerError, {error}},
        {"short", "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n0", true, UpdateManager::ServerError, {error}},
        {"NUL after 0", std::string("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\n0\0", 40), true,
         UpdateManager::ServerError, {error}},
        {"huge", "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n0", true, UpdateManager::ServerError, {error}},
        {"not found", "HTTP/1.0 404 Not Found\r\n\r\n", true, UpdateManager::ServerError, {error}},
    };
    for (const AnswerCase& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        serve("/currentProfile/index.php?version=-1", LoopbackServer::raw(c.reply));
        // The manager was made before profiles/version.dat existed: version -1.
        EXPECT_EQ(manager.profileUpdateIsAvailable(c.silent), c.outcome);
        EXPECT_EQ(ui.messages, c.messages);
        EXPECT_TRUE(executor.ran.empty());
    }
}

TEST_F(UpdateFlow, NoServerIsANetworkErrorEvenWhenSilent)
{
    ::setenv("VARNEL_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(NetTest::closedPort())).c_str(), 1);
    EXPECT_EQ(manager.profileUpdateIsAvailable(true), UpdateManager::ServerError);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].rfind("Could not check for updates", 0), 0u);

    // Without an interface nothing is asked at all.
    UpdateManager quiet(root, &executor);
    EXPECT_EQ(quiet.profileUpdateIsAvailable(false), UpdateManager::NoInterface);
}

TEST_F(UpdateFlow, AShortOrCancelledDownloadWritesNothing)
{
    UpdateManager updates(root, &executor);
    updates.setInterface(&ui);
    const std::string zip = zipTree(newerDatabase());
    const auto before = snapshot(root);
    serve("/currentProfile/index.php?version=3", LoopbackServer::ok("1"));
    serve("/update/index.php", LoopbackServer::raw("HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(zip.size())
                                                   + "\r\n\r\n" + zip.substr(0, zip.size() / 2)));
    EXPECT_EQ(updates.profileUpdateIsAvailable(true), UpdateManager::Failed);
    EXPECT_EQ(ui.messages.back(), "The profile update failed, probably because of a network error. Check your "
                                  "connection, firewalls etc.");
    EXPECT_TRUE(executor.ran.empty());
    EXPECT_EQ(snapshot(root), before);

    // An answer without a length is no archive either.
    serve("/update/index.php", LoopbackServer::raw("HTTP/1.0 200 OK\r\n\r\n" + zip));
    EXPECT_EQ(updates.profileUpdateIsAvailable(true), UpdateManager::Failed);
    EXPECT_EQ(snapshot(root), before);
}

TEST_F(UpdateFlow, ACancelChangesNothingAndStartsNoFurtherStep)
{
    // The window's Cancel (or quitting) during the Nth exchange, at once or
    // once the archive's first file stands staged.
    class CancellingInterface : public FakeInterface {
    public:
        void runNetworkCall(const std::function<void()>& call, HttpProgress* progress) override
        {
            std::thread watcher;
            if (progress && calls + 1 == cancelAt && whenStaged.empty())
                progress->cancelled = true;
            else if (progress && calls + 1 == cancelAt)
                watcher = std::thread([this, progress] {
                    for (int i = 0; i < 1000 && readFile(whenStaged) != stagedContent; ++i)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    onStaged();
                    progress->cancelled = true;
                });
            FakeInterface::runNetworkCall(call, progress);
            if (watcher.joinable())
                watcher.join();
        }
        int cancelAt = 0;
        std::string whenStaged;
        std::string stagedContent;
        std::function<void()> onStaged;
    };
    const std::string ready = "A new profile database is ready for download.";
    const std::string cancelled = "The profile update was cancelled. The installed profile database is unchanged.";
    const struct {
        int cancelAt;
        bool staged;
        std::vector<std::string> messages;
        std::vector<std::string> commands;
    } cases[] = {
        {1, false, {}, {}},
        {2, false, {ready, cancelled}, {}},
        // update.zip was written under the lock: it goes again.
        {3, false, {ready, cancelled}, {"cmd /c del /q " + root + "/update.zip"}},
        {3, true, {ready, cancelled}, {"cmd /c del /q " + root + "/update.zip"}},
    };
    offerArchive(zipTree(newerDatabase()));
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.cancelAt) + (c.staged ? " staged" : ""));
        CancellingInterface cancelling;
        cancelling.cancelAt = c.cancelAt;
        std::map<std::string, std::string> whileStaged;
        if (c.staged) {
            // unzip has written everything and stays: the swap cannot come first.
            fs::remove(root + "/bin/unzip");
            writeFile(root + "/bin/unzip", "#!/bin/sh\n[ \"$1\" = -p ] || exec /usr/bin/unzip \"$@\"\n"
                                           "/usr/bin/unzip \"$@\" || exit $?\n"
                                           "i=0; while [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n");
            fs::permissions(root + "/bin/unzip", fs::perms::owner_all);
            cancelling.whenStaged = root + "/.profiles-update/profiles/vendors/Acme/Rocket/profile.h";
            cancelling.stagedContent = "#define KV_PROF_SUPPORT_CAMERA\n#define KV_PROF_SUPPORT_GPS\n";
            cancelling.onStaged = [&] { whileStaged = snapshot(root + "/profiles"); };
        }
        executor.ran.clear();
        UpdateManager updates(root, &executor);
        updates.setInterface(&cancelling);
        const auto before = snapshot(root);
        EXPECT_EQ(updates.profileUpdateIsAvailable(true), UpdateManager::Cancelled);
        // What the install staged goes in the background, after the message.
        updates.waitForRemoval();
        EXPECT_EQ(cancelling.calls, std::max(c.cancelAt, 1));
        EXPECT_EQ(cancelling.messages, c.messages);
        EXPECT_EQ(executor.ran, c.commands);
        EXPECT_EQ(snapshot(root), before);
        // The staged file that replaces an installed one is a file of its
        // own: the installed database was untouched while it was written.
        if (c.staged) {
            EXPECT_EQ(whileStaged, snapshot(root + "/profiles"));
        }
    }
}

TEST_F(UpdateFlow, TheStagingDatabaseSharesTheInstalledFilesAndNeverWritesThroughThem)
{
    // A link in the installed database leads outside it: its files are
    // staged as copies, and the removal of the old database leaves them be.
    writeFile(dir.file("shared/VarnelRuntime.txt"), "shared runtime\n");
    fs::create_directory_symlink(dir.file("shared"), root + "/profiles/runtimes/2");
    const auto before = snapshot(root + "/profiles");
    struct stat kept;
    ASSERT_EQ(::stat((root + "/profiles/runtimes/1/VarnelRuntime.txt").c_str(), &kept), 0);
    writeFile(root + "/update.zip", zipTree(newerDatabase()));

    ProfileUpdateInstaller installer(root);
    std::string error;
    ASSERT_TRUE(installer.install(root + "/update.zip", error)) << error;
    EXPECT_EQ(readFile(root + "/profiles/vendors/Acme/Rocket/profile.h"),
              "#define KV_PROF_SUPPORT_CAMERA\n#define KV_PROF_SUPPORT_GPS\n");
    // A file the archive does not carry is the installed file itself, not a copy.
    struct stat shared;
    ASSERT_EQ(::stat((root + "/profiles/runtimes/1/VarnelRuntime.txt").c_str(), &shared), 0);
    EXPECT_EQ(shared.st_ino, kept.st_ino);
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(root + "/profiles/runtimes/2")));
    // The replaced database waits for its removal exactly as it was.
    const std::vector<fs::path> old(fs::directory_iterator(root + "/.profiles-old"), fs::directory_iterator());
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(snapshot((old[0] / "profiles").string()), before);

    EXPECT_TRUE(removeRetiredTrees(root));
    EXPECT_FALSE(exists(root + "/.profiles-old"));
    EXPECT_EQ(readFile(root + "/profiles/runtimes/1/VarnelRuntime.txt"), "runtime one\n");
    EXPECT_EQ(readFile(root + "/profiles/runtimes/2/VarnelRuntime.txt"), "shared runtime\n");
    EXPECT_EQ(readFile(dir.file("shared/VarnelRuntime.txt")), "shared runtime\n");
}

TEST_F(UpdateFlow, AnotherUpdateHoldingTheInstallationIsNotTouched)
{
    UpdateManager updates(root, &executor);
    updates.setInterface(&ui);
    offerArchive(zipTree(newerDatabase()));
    // The other update's work in progress.
    writeFile(root + "/update.zip", "theirs");
    writeFile(root + "/.profiles-update/profiles/version.dat", "9\n");
    const auto before = snapshot(root);
    InstallLock theirs(root);
    std::string error;
    ASSERT_EQ(theirs.acquire(0, nullptr, error), InstallLock::Taken);
    InstallLock::setDefaultWaitMilliseconds(300);

    EXPECT_EQ(updates.profileUpdateIsAvailable(true), UpdateManager::Failed);
    EXPECT_EQ(ui.messages.back(), "The profile update could not be installed: another profile update is running. "
                                  "The installed profile database is unchanged.");
    EXPECT_TRUE(executor.ran.empty());
    EXPECT_EQ(snapshot(root), before);

    // Once it has finished, the next update goes ahead.
    theirs.release();
    EXPECT_EQ(updates.profileUpdateIsAvailable(true), UpdateManager::Installed);
    EXPECT_EQ(readFile(root + "/profiles/version.dat"), "4\n");
    InstallLock::setDefaultWaitMilliseconds(0);
}

TEST_F(UpdateFlow, NoCopyLoadsHalfOfOneDatabaseAndHalfOfAnother)
{
    // A swap under way: a copy that loads now waits for it, then reads the
    // new database whole.
    InstallLock swap(root, InstallLock::Database);
    std::string error;
    ASSERT_EQ(swap.acquire(0, nullptr, error), InstallLock::Taken);
    auto reader = std::async(std::launch::async, [&] {
        auto manager = std::make_unique<ProjectManager>(root, nullptr);
        manager->getProfileDatabase();
        return manager;
    });
    EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    fs::copy(root + "/profiles/vendors/Acme", root + "/profiles/vendors/Zenith", fs::copy_options::recursive);
    swap.release();
    const auto loaded = reader.get();
    ASSERT_EQ(loaded->getProfileDatabase().getVendors().size(), 2);
    EXPECT_EQ(loaded->getProfileDatabase().getVendors()[1]->getName(), "Zenith");

    // A copy reading the database: the swap waits until it has finished.
    InstallLock reading(root, InstallLock::Database);
    ASSERT_EQ(reading.acquire(0, nullptr, error, true), InstallLock::Taken);
    offerArchive(zipTree(newerDatabase()));
    UpdateManager updates(root, &executor);
    updates.setInterface(&ui);
    auto update = std::async(std::launch::async, [&] { return updates.profileUpdateIsAvailable(true); });
    EXPECT_EQ(update.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    EXPECT_EQ(readFile(root + "/profiles/version.dat"), "3\n");
    reading.release();
    EXPECT_EQ(update.get(), UpdateManager::Installed);
    EXPECT_EQ(readFile(root + "/profiles/version.dat"), "4\n");
}

TEST_F(UpdateFlow, TheServersAnswerIsPrintedHarmlessly)
{
    serve("/x", LoopbackServer::ok("1\n\x1b[2J\\"));
    TestSupport::CapturedDiagnostics diagnostics;
    EXPECT_EQ(manager.askServer(server.address() + "/x"), BRASK_SERVER_ERROR);
    EXPECT_NE(diagnostics.text().find("Got this string from server: '1\\x0a\\x1b[2J\\x5c'\nfailed comparisons!\n"),
              std::string::npos)
        << diagnostics.text();
}

struct HostileCase {
    const char* name;
    std::function<std::string(UpdateFlow&)> archive;
    const char* reason;
};

std::string hostileZip(const std::string& name, const std::string& content, uint32_t mode = 0100644,
                       bool badCrc = false)
{
    ZipWriter zip;
    zip.add("profiles/version.dat", "4\n");
    zip.add(name, content, mode, badCrc);
    return zip.bytes();
}

TEST_F(UpdateFlow, HostileOrBrokenArchivesLeaveTheDatabaseUnchanged)
{
    const HostileCase cases[] = {
        {"parent piece", [](UpdateFlow&) { return hostileZip("profiles/../../x", "evil"); }, "\"..\""},
        {"leading parent", [](UpdateFlow&) { return hostileZip("../x", "evil"); }, "\"..\""},
        {"absolute", [](UpdateFlow&) { return hostileZip("/etc/x", "evil"); }, "absolute name"},
        {"backslash", [](UpdateFlow&) { return hostileZip("profiles\\vendors\\x", "evil"); }, "backslash"},
        {"outside", [](UpdateFlow&) { return hostileZip("bin/config.xml", "<Config/>"); }, "outside profiles/"},
        {"symlink", [](UpdateFlow&) { return hostileZip("profiles/vendors/Acme", "/etc", 0120777); },
         "symbolic link"},
        {"fifo", [](UpdateFlow&) { return hostileZip("profiles/x", "y", 010644); }, "neither a plain file"},
        {"twice",
         [](UpdateFlow&) {
             ZipWriter zip;
             zip.add("profiles/version.dat", "4\n");
             zip.add("profiles/version.dat", "5\n");
             return zip.bytes();
         },
         "appears twice"},
        {"control character", [](UpdateFlow&) { return hostileZip("profiles/a\nb", "y"); }, "control character"},
        {"bad checksum",
         [](UpdateFlow&) { return hostileZip("profiles/vendors/definitions.txt", "broken\n", 0100644, true); },
         "does not match its listed checksum"},
        {"damaged data",
         [](UpdateFlow&) {
             // The second entry's local header no longer where the directory says.
             std::string zip = hostileZip("profiles/vendors/definitions.txt", "x\n");
             zip[30 + std::string("profiles/version.dat").size() + 2] = 'X';
             return zip;
         },
         "unzip failed with status"},
        {"disk full during the unpack",
         [](UpdateFlow& t) {
             // unzip's own status for a disk that filled while it wrote.
             fs::remove(t.root + "/bin/unzip");
             writeFile(t.root + "/bin/unzip", "#!/bin/sh\n[ \"$1\" = -p ] && exit 50\nexec /usr/bin/unzip \"$@\"\n");
             fs::permissions(t.root + "/bin/unzip", fs::perms::owner_all);
             return t.zipTree(t.newerDatabase("full"));
         },
         "unzip failed with status 50: the disk is full"},
        // One stream for the whole archive: an entry whose size lies, either
        // way, is caught before the entries after it.
        {"size lying low before another entry",
         [](UpdateFlow&) {
             ZipWriter zip;
             zip.add("profiles/version.dat", "4\n");
             zip.add("profiles/a", "0123456789", 0100644, false, 1);
             zip.add("profiles/vendors/definitions.txt", "x\n");
             return zip.bytes();
         },
         "\"profiles/a\" does not unpack to the 1 bytes its listing gives"},
        {"size lying high before another entry",
         [](UpdateFlow&) {
             ZipWriter zip;
             zip.add("profiles/version.dat", "4\n");
             zip.add("profiles/a", "0123456789", 0100644, false, 20);
             zip.add("profiles/vendors/definitions.txt", "x\n");
             return zip.bytes();
         },
         "\"profiles/a\" does not unpack to the 20 bytes its listing gives"},
        {"not a zip", [](UpdateFlow&) { return std::string("PK\3\4 this is not an archive at all"); },
         "could not be listed"},
        {"empty zip", [](UpdateFlow&) { return ZipWriter().bytes(); }, "could not be listed"},
        {"symlink made by zip",
         [](UpdateFlow& t) {
             const std::string src = t.newerDatabase("linked");
             fs::create_symlink("/etc/passwd", src + "/profiles/vendors/Acme/Comet/profile.h.link");
             return t.zipTree(src);
         },
         "symbolic link"},
        {"device without runtime.txt",
         [](UpdateFlow& t) {
             const std::string src = t.newerDatabase("noruntime");
             writeFile(src + "/profiles/vendors/Acme/Nova/profile.h", "#define KV_PROF_SUPPORT_GPS\n");
             return t.zipTree(src);
         },
         "profiles/vendors/Acme/Nova/runtime.txt cannot be read"},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(root + "/bin/unzip");
        fs::create_symlink("/usr/bin/unzip", root + "/bin/unzip");
        UpdateManager updates(root, &executor);
        updates.setInterface(&ui);
        ui.messages.clear();
        offerArchive(c.archive(*this));
        const auto before = snapshot(root);
        const auto outside = snapshot(dir.path());

        EXPECT_EQ(updates.profileUpdateIsAvailable(true), UpdateManager::Failed);
        updates.waitForRemoval();
        ASSERT_EQ(ui.messages.size(), 2u);
        EXPECT_EQ(ui.messages[0], "A new profile database is ready for download.");
        EXPECT_EQ(ui.messages[1].rfind("The profile update could not be installed: ", 0), 0u) << ui.messages[1];
        EXPECT_NE(ui.messages[1].find(c.reason), std::string::npos) << ui.messages[1];
        EXPECT_EQ(snapshot(root), before);
        // Nothing appeared anywhere else either (update.zip is deleted again).
        auto after = snapshot(dir.path());
        EXPECT_EQ(after, outside);
        ProfileDatabase db;
        db.load(root + "/profiles/vendors");
        EXPECT_EQ(db.findDevice("Acme", "Comet"), nullptr);
        EXPECT_NE(db.findDevice("Acme", "Rocket"), nullptr);
    }
}

TEST(ArchiveListing, PairsNamesWithTheLongListing)
{
    const std::string header = "Archive:  /k/update.zip\nZip file size: 300 bytes, number of entries: 2\n";
    const std::string dirLine = "drwxr-xr-x  3.0 unx        0 bx stor 26-Dec-07 15:52 profiles/\n";
    const std::string fileLine = "-rw-r--r--  3.0 unx       12 tx stor 26-Dec-07 15:52 profiles/a b.txt\n";
    const std::string totals = "2 files, 12 bytes uncompressed, 12 bytes compressed:  0.0%\n";
    const std::string names = "profiles/\nprofiles/a b.txt\n";

    std::vector<ArchiveEntry> entries;
    std::string error;
    ASSERT_TRUE(ArchiveListing::parseListing(names, header + dirLine + fileLine + totals, entries, error))
        << error;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].name, "profiles/a b.txt");
    EXPECT_EQ(entries[1].mode, "-rw-r--r--");
    EXPECT_EQ(entries[1].size, 12);

    struct Bad {
        const char* why;
        std::string names, listing;
    };
    const Bad bad[] = {
        {"no entries", "", header + totals},
        {"a line missing", names, header + dirLine + totals},
        {"names differ", "profiles/\nprofiles/other\n", header + dirLine + fileLine + totals},
        {"size not a number", names,
         header + dirLine + "-rw-r--r--  3.0 unx       1x tx stor 26-Dec-07 15:52 profiles/a b.txt\n" + totals},
        {"no archive line", names, "Zip file size: 1\nx\n" + dirLine + fileLine + totals},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.why);
        EXPECT_FALSE(ArchiveListing::parseListing(b.names, b.listing, entries, error));
    }
}

TEST(ArchiveListing, EntryRules)
{
    struct Case {
        const char* mode;
        const char* name;
        bool accepted;
    };
    const Case cases[] = {
        {"-rw-r--r--", "profiles/vendors/definitions.txt", true},
        {"drwxr-xr-x", "profiles/", true},
        {"-rw-a--", "profiles/x", true},
        {"-rw-r--r--", "profiles", false},
        {"-rw-r--r--", "profilesx/a", false},
        {"-rw-r--r--", "./profiles/a", false},
        {"-rw-r--r--", "profiles/a/../../b", false},
        {"-rw-r--r--", "profiles/..", false},
        {"-rw-r--r--", "C:/profiles/a", false},
        {"-rw-r--r--", "profiles/a\\b", false},
        {"-rw-r--r--", "profiles/a^Jb", false},
        {"lrwxrwxrwx", "profiles/link", false},
        {"lrwxrwxrwx", "profiles/link/", false},
        // What unzip writes as a plain file or a directory, whatever the
        // archiver's mode bits: Python's zipfile, the JDK's jar (FAT, no
        // directory mode), Windows tools.
        {"drwxr-xr-x", "profiles/file", true},
        {"-rw-r--r--", "profiles/dir/", true},
        {"?rw-------", "profiles/x", true},
        {"-rw----", "profiles/vendors/", true},
        {"prw-r--r--", "profiles/fifo", false},
        {"crw-r--r--", "profiles/device", false},
        {"srwxr-xr-x", "profiles/socket", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        EXPECT_EQ(ArchiveListing::checkEntry({c.mode, 1, c.name}, error), c.accepted) << error;
    }
}

struct ReleaseCase {
    int fetched;
    const char* body;
    int revision;
    bool silent;
    bool show;
    const char* caption;
    bool printsServerVersion;
};

TEST(ReleaseCheck, Table)
{
    const ReleaseCase cases[] = {
        {0, "", 7, true, false, "", false},
        {0, "", 7, false, true, "The check for updates could not be performed", false},
        {2, "12", 7, true, true, "New update available", false},
        {2, "12", 7, false, true, "New update available", false},
        {1, "7", 7, false, true, "There are no new updates", false},
        {1, "7", 7, true, false, "", false},
        {2, "7\n", 7, true, false, "", false},
        {-2, "", 7, true, true, "Network error", true},
        {-1, "", 7, false, true, "Network error", true},
        {1, "5", 7, true, true, "Dude!", true},
        {1, "5", 7, false, true, "Dude!", true},
        {-2, "", -1, true, true, "New update available", false},
        {-2, "", 0, true, false, "", false},
        {3, "abc", 7, true, true, "Network error", true},
        // Read as the 32-bit strtoul: too large saturates to -1.
        {11, "99999999999", 7, true, true, "Network error", true},
    };
    for (const ReleaseCase& c : cases) {
        SCOPED_TRACE(std::string(c.body) + " vs " + std::to_string(c.revision) + (c.silent ? " silent" : ""));
        const ReleaseVerdict v = checkRelease(c.fetched, c.body, c.revision, c.silent);
        EXPECT_EQ(v.show, c.show);
        EXPECT_EQ(v.caption, c.caption);
        EXPECT_EQ(v.printServerVersion, c.printsServerVersion);
        if (c.show) {
            EXPECT_EQ(v.kind, c.fetched == 0 ? ReleaseVerdict::Warning : ReleaseVerdict::Information);
        }
    }
    EXPECT_EQ(checkRelease(2, "12", 7, true).text,
              std::string("A new version of Varnel is available for download at ") + MakerWebSite);
    EXPECT_EQ(checkRelease(-2, "", 7, true).text, "Could not connect to server to check for updates");
    EXPECT_EQ(checkRelease(1, "5", 7, true).text,
              "You're running a future version of Varnel, potentially doing serious damage to the spacetime "
              "continuum!");
    EXPECT_EQ(checkRelease(1, "7", 7, false).text, "You are running the latest version of Varnel.");
    EXPECT_EQ(checkRelease(0, "", 7, false).text,
              "Something went wrong with checking for updates. Check network cables, firewalls and that sort of "
              "stuff.");
}

TEST(VersionFile, FirstLineAsADecimalNumber)
{
    TempDir dir;
    struct Case {
        const char* content;
        int value;
    };
    const Case cases[] = {
        {"12\n", 12},
        {"12", 12},
        {"  7abc\nignored 99\n", 7},
        {"\t\r 5\r\n", 5},
        {"", 0},
        {"\n42\n", 0},
        {"abc", 0},
        {"-5\n", -5},
        {"99999999999\n", -1},
        {"4294967296\n", -1},
        {"2147483648\n", INT_MIN},
        {"0000000000000000000000000000000000000009\n", 0},
        {"000000000000000000000000000009\n", 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        writeFile(dir.file("version.dat"), c.content);
        EXPECT_EQ(UpdateManager::readVersionFile(dir.file("version.dat")), c.value);
    }
    EXPECT_EQ(UpdateManager::readVersionFile(dir.file("missing.dat")), -1);
    EXPECT_EQ(UpdateManager::readVersionFile(dir.path()), -1);
}

TEST_F(UpdateFlow, PackageRevisionAndLatestRelease)
{
    UpdateManager updates(root, &executor);
    updates.setInterface(&ui);
    TestSupport::CapturedDiagnostics diagnostics;
    EXPECT_EQ(updates.packageRevision(), 7);
    EXPECT_EQ(diagnostics.text(), "packageRevision according to UpdateManager: 7\n");
    EXPECT_EQ(manager.packageRevision(), -1);

    std::string body;
    serve("/latest/", LoopbackServer::ok("12"));
    EXPECT_EQ(updates.fetchLatestRelease(body), 2);
    EXPECT_EQ(body, "12");
    EXPECT_EQ(server.requests().back(), "GET /latest/ HTTP/1.0\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");

    body.clear();
    serve("/latest/", LoopbackServer::raw("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\n1"));
    EXPECT_EQ(updates.fetchLatestRelease(body), -2);
    EXPECT_EQ(body, "");

    serve("/latest/", LoopbackServer::raw("HTTP/1.0 200 OK\r\n\r\n12"));
    EXPECT_EQ(updates.fetchLatestRelease(body), -1);
    EXPECT_EQ(body, "");

    ::setenv("VARNEL_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(NetTest::closedPort())).c_str(), 1);
    EXPECT_EQ(updates.fetchLatestRelease(body), -2);
    EXPECT_EQ(body, "");
}

TEST(UpdateServer, AddressFromTheEnvironment)
{
    struct Case {
        const char* value;
        const char* address;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"mirror.example.org", "mirror.example.org", "mirror.example.org", 80},
        {"127.0.0.1:8080", "127.0.0.1:8080", "127.0.0.1", 8080},
        {"127.0.0.1:http", "127.0.0.1:http", "127.0.0.1", 0},
        {"127.0.0.1:70000", "127.0.0.1:70000", "127.0.0.1", 0},
        {"", DefaultUpdateServer, DefaultUpdateServer, 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        ::setenv("VARNEL_UPDATE_SERVER", c.value, 1);
        EXPECT_EQ(updateServerAddress(), c.address);
        EXPECT_EQ(updateServerHost(), c.host);
        EXPECT_EQ(updateServerPort(), c.port);
    }
    ::setenv("VARNEL_UPDATE_SERVER", "127.0.0.1:9", 1);
    EXPECT_EQ(UpdateManager::profileQueryUrl(-1), "127.0.0.1:9/currentProfile/index.php?version=-1");
    EXPECT_EQ(UpdateManager::profileArchiveUrl(), "127.0.0.1:9/update/index.php");
    EXPECT_EQ(UpdateManager::latestReleaseUrl(), "127.0.0.1:9/latest/");
}

} // namespace
