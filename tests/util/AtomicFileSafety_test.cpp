// Saving decides by the file's own permissions, keeps temporary names short
// and cleans up after saves that were killed.

#include "support/TestSupport.h"
#include "util/AtomicFile.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Brask;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

constexpr uid_t Nobody = 65534;

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

struct Outcome {
    bool ok = false;
    std::string error;
};

// Saves in a child process that runs as an ordinary user (nobody when the
// tests run as root, who may write anything), so permissions count.
Outcome saveAsUser(const std::string& path, const std::string& data, WriteFunction writeFn = nullptr)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {false, "pipe"};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(Nobody) != 0 || setuid(Nobody) != 0))
            _exit(3);
        std::string error;
        const bool ok = writeFileAtomically(path, data, &error, writeFn);
        if (write(fds[1], error.data(), error.size()) < 0) {
        }
        _exit(ok ? 0 : 1);
    }
    close(fds[1]);
    Outcome out;
    char buf[512];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.error.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    out.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 3) << "could not become an ordinary user";
    return out;
}

// Hands `path` (and its directory) to the user saveAsUser runs as.
void giveAway(const std::string& path)
{
    if (geteuid() == 0 && chown(path.c_str(), Nobody, Nobody) != 0)
        ADD_FAILURE() << "chown " << path;
}

ino_t inode(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

ssize_t failingWrite(int, const void*, size_t)
{
    errno = ENOSPC;
    return -1;
}

// Writes one piece and then stalls, as a save does that is killed mid-way.
ssize_t stallingWrite(int fd, const void* data, size_t size)
{
    const ssize_t n = ::write(fd, data, size < 4096 ? size : 4096);
    for (;;)
        pause();
    return n;
}

} // namespace

TEST(AtomicFileSafetyTest, TheFilesOwnPermissionsDecide)
{
    struct Case {
        const char* what;
        mode_t dirMode;
        int fileMode;  // -1: no file yet
        std::string data;
        WriteFunction writeFn;
        bool saved;
        const char* reason;  // part of the error when not saved
    };
    const std::string longer(100000, 'L');
    const Case cases[] = {
        {"read-only file, writable directory", 0755, 0444, "new", nullptr, false, "Permission denied"},
        {"writable file, read-only directory", 0555, 0644, "new", nullptr, true, ""},
        {"writable file, read-only directory, longer text", 0555, 0600, longer, nullptr, true, ""},
        {"writable file, read-only directory, full disk", 0555, 0644, longer, failingWrite, false,
         "No space left on device"},
        {"new file, read-only directory", 0555, -1, "new", nullptr, false, "Permission denied"},
        {"read-only file, read-only directory", 0555, 0444, "new", nullptr, false, "Permission denied"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        chmod(tmp.path().c_str(), 0755);
        const std::string dir = tmp.file("d");
        const std::string path = dir + "/config.xml";
        TestSupport::makeDirs(dir);
        if (c.fileMode >= 0) {
            writeFile(path, "old content");
            chmod(path.c_str(), static_cast<mode_t>(c.fileMode));
            giveAway(path);
        }
        giveAway(dir);
        chmod(dir.c_str(), c.dirMode);
        const ino_t before = inode(path);

        const Outcome out = saveAsUser(path, c.data, c.writeFn);
        chmod(dir.c_str(), 0755);
        EXPECT_EQ(out.ok, c.saved) << out.error;
        if (c.saved) {
            EXPECT_EQ(readFile(path), c.data);
            // Rewritten in place: the same file, with its permissions.
            EXPECT_EQ(inode(path), before);
            struct stat st;
            ASSERT_EQ(stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, static_cast<mode_t>(c.fileMode));
        } else {
            EXPECT_NE(out.error.find(path), std::string::npos) << out.error;
            EXPECT_NE(out.error.find(c.reason), std::string::npos) << out.error;
            if (c.fileMode >= 0) {
                EXPECT_EQ(readFile(path), "old content");
            }
        }
        EXPECT_EQ(entries(dir).size(), c.fileMode >= 0 ? 1u : 0u);
    }
}

TEST(AtomicFileSafetyTest, LongestFileNamesCanBeSaved)
{
    for (size_t length : {249u, 250u, 254u, 255u}) {
        TempDir tmp;
        const std::string path = tmp.file(std::string(length - 4, 'p') + ".vnp");
        std::string error;
        ASSERT_TRUE(writeFileAtomically(path, "first", &error)) << length << ": " << error;
        ASSERT_TRUE(writeFileAtomically(path, "second", &error)) << length << ": " << error;
        EXPECT_EQ(readFile(path), "second");
        EXPECT_EQ(entries(tmp.path()).size(), 1u);
        EXPECT_LE(temporaryFilePrefix(path).size() + 6, 40u);
    }
}

TEST(AtomicFileSafetyTest, NonRegularTargetIsRefusedWithoutWaiting)
{
    TempDir tmp;
    const std::string fifo = tmp.file("p.vnp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string error;
    EXPECT_FALSE(writeFileAtomically(fifo, "x", &error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    TestSupport::makeDirs(tmp.file("dir.vnp"));
    EXPECT_FALSE(writeFileAtomically(tmp.file("dir.vnp"), "x", &error));
}

namespace {

std::vector<std::string> temporaries(const std::string& dir, const std::string& path)
{
    const std::string prefix = temporaryFilePrefix(path);
    std::vector<std::string> out;
    for (const std::string& name : entries(dir))
        if (name.rfind(prefix, 0) == 0)
            out.push_back(name);
    return out;
}

// A save of `path` in a child process that stalls after its first write; the
// save is killed (as kill -9 would) when the object goes.
class StalledSave {
public:
    StalledSave(const std::string& path, const std::string& dir)
    {
        const std::vector<std::string> before = temporaries(dir, path);
        m_pid = fork();
        if (m_pid == 0) {
            writeFileAtomically(path, std::string(1 << 20, 'x'), nullptr, stallingWrite);
            _exit(0);
        }
        // Wait until its own temporary file is there.
        for (int i = 0; i < 500; ++i) {
            for (const std::string& name : temporaries(dir, path))
                if (std::find(before.begin(), before.end(), name) == before.end())
                    return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "the stalled save made no temporary file";
    }
    ~StalledSave() { kill(); }
    void kill()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
};

} // namespace

TEST(AtomicFileSafetyTest, LaterSaveRemovesTemporaryFilesOfKilledSaves)
{
    TempDir tmp;
    const std::string dir = tmp.path();
    const std::string path = tmp.file("game.vnp");
    const std::string other = tmp.file("other.vnp");
    writeFile(path, "v1");
    writeFile(other, "o1");

    // Saves killed mid-way leave their temporary files behind.
    StalledSave(path, dir).kill();
    StalledSave(other, dir).kill();
    const std::vector<std::string> stale = temporaries(dir, path);
    ASSERT_EQ(stale.size(), 1u);
    ASSERT_EQ(temporaries(dir, other).size(), 1u);
    ASSERT_EQ(entries(dir).size(), 4u);

    {
        // A save that is still running keeps its temporary file; the killed
        // one's is gone.
        StalledSave running(path, dir);
        std::vector<std::string> now = temporaries(dir, path);
        ASSERT_EQ(now.size(), 1u);
        EXPECT_NE(now[0], stale[0]);
        ASSERT_TRUE(writeFileAtomically(path, "v2"));
        EXPECT_EQ(temporaries(dir, path), now);
    }
    ASSERT_TRUE(writeFileAtomically(path, "v3"));
    EXPECT_TRUE(temporaries(dir, path).empty());
    EXPECT_EQ(readFile(path), "v3");
    // Another file's leftovers belong to that file's next save.
    EXPECT_EQ(temporaries(dir, other).size(), 1u);
    ASSERT_TRUE(writeFileAtomically(other, "o2"));
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"game.vnp", "other.vnp"}));
}
