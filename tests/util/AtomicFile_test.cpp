#include "support/TestSupport.h"
#include "util/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Brask;
using TestSupport::readFile;
using TestSupport::TempDir;
using TestSupport::writeFile;

namespace {

int entryCount(const std::string& dir)
{
    int n = 0;
    DIR* d = opendir(dir.c_str());
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            ++n;
    closedir(d);
    return n;
}

// A disk that takes at most 10 bytes per call and then fills up.
ssize_t shortWrite(int fd, const void* data, size_t size)
{
    static size_t total = 0;
    if (total >= 20) {
        total = 0;
        return 0;
    }
    const size_t n = size < 10 ? size : 10;
    total += n;
    return ::write(fd, data, n);
}

ssize_t failingWrite(int, const void*, size_t)
{
    errno = ENOSPC;
    return -1;
}

} // namespace

TEST(AtomicFileTest, ReplacesContentAndKeepsNoTemporaryFile)
{
    TempDir tmp;
    const std::string path = tmp.file("p.vnp");
    writeFile(path, "old content");
    std::string error;
    ASSERT_TRUE(writeFileAtomically(path, "new", &error)) << error;
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(entryCount(tmp.path()), 1);
}

TEST(AtomicFileTest, FullDiskLeavesTheOldFile)
{
    TempDir tmp;
    const std::string path = tmp.file("p.vnp");
    writeFile(path, "precious");
    std::string error;
    EXPECT_FALSE(writeFileAtomically(path, std::string(100, 'x'), &error, shortWrite));
    EXPECT_NE(error.find("p.vnp"), std::string::npos);
    EXPECT_EQ(readFile(path), "precious");
    EXPECT_EQ(entryCount(tmp.path()), 1);

    EXPECT_FALSE(writeFileAtomically(path, "x", &error, failingWrite));
    EXPECT_EQ(readFile(path), "precious");
    EXPECT_EQ(entryCount(tmp.path()), 1);
}

TEST(AtomicFileTest, ShortWritesThatProgressAreCompleted)
{
    TempDir tmp;
    const std::string path = tmp.file("p.vnp");
    EXPECT_TRUE(writeFileAtomically(path, std::string(15, 'y'), nullptr, shortWrite));
    EXPECT_EQ(readFile(path), std::string(15, 'y'));
}

TEST(AtomicFileTest, ReadOnlyDirectoryStillSavesAWritableFile)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only directories (AtomicFileSafetyTest covers it as nobody)";
    TempDir tmp;
    const std::string dir = tmp.file("ro");
    writeFile(dir + "/p.vnp", "keep");
    chmod(dir.c_str(), 0555);
    EXPECT_TRUE(writeFileAtomically(dir + "/p.vnp", "new"));
    chmod(dir.c_str(), 0755);
    EXPECT_EQ(readFile(dir + "/p.vnp"), "new");
}

TEST(AtomicFileTest, MissingDirectoryFails)
{
    TempDir tmp;
    std::string error;
    EXPECT_FALSE(writeFileAtomically(tmp.file("no/such/dir/p.vnp"), "x", &error));
    EXPECT_FALSE(error.empty());
}

TEST(AtomicFileTest, SymlinkTargetIsWrittenThroughTheLink)
{
    TempDir tmp;
    writeFile(tmp.file("real/p.vnp"), "old");
    ASSERT_EQ(symlink("real/p.vnp", tmp.file("link.vnp").c_str()), 0);
    ASSERT_TRUE(writeFileAtomically(tmp.file("link.vnp"), "new"));
    struct stat st;
    ASSERT_EQ(lstat(tmp.file("link.vnp").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(tmp.file("real/p.vnp")), "new");
}

TEST(AtomicFileTest, KeepsThePermissionsOfTheReplacedFile)
{
    TempDir tmp;
    const std::string path = tmp.file("config.xml");
    writeFile(path, "a");
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(writeFileAtomically(path, "b"));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

namespace {

// A 64 KiB file system of our own, where the machine lets tests mount one.
class TinyFileSystem {
public:
    TinyFileSystem()
    {
        m_mounted = std::system(("mount -t tmpfs -o size=64k tmpfs '" + m_dir.path() + "' 2>/dev/null").c_str()) == 0;
    }
    ~TinyFileSystem()
    {
        if (m_mounted && std::system(("umount '" + m_dir.path() + "'").c_str()) != 0) {
        }
    }
    bool mounted() const { return m_mounted; }
    std::string file(const std::string& name) const { return m_dir.file(name); }
    bool makeReadOnly() const
    {
        return std::system(("mount -o remount,ro '" + m_dir.path() + "' 2>/dev/null").c_str()) == 0;
    }

private:
    TempDir m_dir;
    bool m_mounted = false;
};

} // namespace

TEST(AtomicFileTest, FullFileSystemLeavesTheOldFile)
{
    TinyFileSystem fs;
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    writeFile(fs.file("p.vnp"), "precious");
    std::string error;
    EXPECT_FALSE(writeFileAtomically(fs.file("p.vnp"), std::string(200 * 1024, 'x'), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readFile(fs.file("p.vnp")), "precious");
    EXPECT_EQ(entryCount(fs.file("")), 1);
    // The space is back: a small file still fits.
    EXPECT_TRUE(writeFileAtomically(fs.file("p.vnp"), "small"));
    EXPECT_EQ(readFile(fs.file("p.vnp")), "small");
}

TEST(AtomicFileTest, ReadOnlyFileSystemFailsAndChangesNothing)
{
    TinyFileSystem fs;
    if (!fs.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here";
    writeFile(fs.file("p.vnp"), "keep");
    if (!fs.makeReadOnly())
        GTEST_SKIP() << "cannot remount read-only";
    std::string error;
    EXPECT_FALSE(writeFileAtomically(fs.file("p.vnp"), "new", &error));
    EXPECT_NE(error.find("p.vnp"), std::string::npos);
    EXPECT_EQ(readFile(fs.file("p.vnp")), "keep");
}
