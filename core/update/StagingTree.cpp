#include "core/update/StagingTree.h"

#include "core/update/InstallLock.h"
#include "core/update/TreeRemoval.h"
#include "util/Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Brask {

namespace {

// The process's umask without changing it (umask() would, for a moment, for
// every thread); all bits when it cannot be read, so modes are always set.
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 07777;
}

// A cancel is looked at after this many entries of the walk.
constexpr size_t CancelCheckEntries = 256;

} // namespace

struct StagingTree::Walk {
    const std::unordered_set<std::string>& written;
    const std::atomic<bool>* cancelled;
    mode_t umask;
    // The directories on the way down, so a link that leads back up is
    // caught instead of followed for ever.
    std::vector<std::pair<dev_t, ino_t>> path;
    size_t entries = 0;
    bool stopped = false;
    std::string error;

    bool fail(const std::string& where, int code)
    {
        error = where + ": " + std::strerror(code);
        return false;
    }
};

StagingTree::StagingTree(std::string root)
    : m_root(std::move(root))
{
}

bool StagingTree::build(const std::unordered_set<std::string>& written, const std::atomic<bool>* cancelled,
                        std::string& error)
{
    error.clear();
    // What an install cut short left behind goes out of the way in one step.
    retire();
    const std::string installed = m_root + "/profiles";
    struct stat st;
    Walk walk{written, cancelled, currentUmask(), {}, 0, false, {}};
    if (::mkdir(directory().c_str(), 0755) != 0)
        walk.fail(directory(), errno);
    else if (::stat(installed.c_str(), &st) != 0)
        walk.fail(installed, errno);
    else if (!S_ISDIR(st.st_mode))
        walk.fail(installed, ENOTDIR);
    else {
        walk.path.emplace_back(st.st_dev, st.st_ino);
        if (mirror(walk, installed, database(), "profiles", st.st_mode))
            return true;
    }
    if (!walk.stopped)
        error = "the profile database could not be staged in " + directory() + " (" + walk.error + ")";
    return false;
}

bool StagingTree::mirror(Walk& walk, const std::string& from, const std::string& to, const std::string& name,
                         mode_t mode)
{
    const mode_t bits = mode & 07777;
    if (::mkdir(to.c_str(), bits) != 0)
        return walk.fail(to, errno);
    // The new directory has the installed one's mode, whatever the umask.
    if ((bits & ~walk.umask) != bits && ::chmod(to.c_str(), bits) != 0)
        return walk.fail(to, errno);
    DIR* dir = ::opendir(from.c_str());
    if (!dir)
        return walk.fail(from, errno);
    std::vector<std::pair<std::string, unsigned char>> children;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            children.emplace_back(entry->d_name, entry->d_type);
    }
    ::closedir(dir);
    for (const auto& [child, type] : children) {
        if (!mirrorEntry(walk, from + "/" + child, to + "/" + child, name + "/" + child, type))
            return false;
    }
    return true;
}

bool StagingTree::mirrorEntry(Walk& walk, const std::string& from, const std::string& to, const std::string& name,
                              unsigned char type)
{
    if (++walk.entries % CancelCheckEntries == 0 && walk.cancelled && walk.cancelled->load()) {
        walk.stopped = true;
        return false;
    }
    // The archive writes these itself; the rest is shared.
    if (type == DT_REG && (walk.written.count(name) || ::link(from.c_str(), to.c_str()) == 0))
        return true;
    struct stat st;
    // Anything else is looked at closely; a link counts as what it leads to.
    if (::stat(from.c_str(), &st) != 0)
        return walk.fail(from, errno);
    if (S_ISDIR(st.st_mode)) {
        const std::pair<dev_t, ino_t> id(st.st_dev, st.st_ino);
        if (std::find(walk.path.begin(), walk.path.end(), id) != walk.path.end())
            return walk.fail(from, ELOOP);
        walk.path.push_back(id);
        const bool ok = mirror(walk, from, to, name, st.st_mode);
        walk.path.pop_back();
        return ok;
    }
    if (!S_ISREG(st.st_mode)) {
        walk.error = from + ": neither a plain file nor a directory";
        return false;
    }
    if (walk.written.count(name))
        return true;
    // No link could be made (another file system, a file of another user),
    // or it is what a symbolic link leads to: a copy of its own.
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::none, ec);
    if (ec) {
        walk.error = from + ": " + ec.message();
        return false;
    }
    return true;
}

bool StagingTree::swapIntoPlace(std::string& error)
{
    const std::string installed = m_root + "/profiles";
    const std::string fresh = database();
    // Readers load the database under the shared lock: none of them may be
    // half-way through the old one when the new one takes its place.
    InstallLock readers(m_root, InstallLock::Database);
    if (readers.acquire(ReaderWaitMilliseconds, nullptr, error) != InstallLock::Taken) {
        if (error.empty())
            error = "another copy of VarBuild kept reading the profile database";
        return false;
    }
    // One step where the file system allows it: the old database moves into
    // the staging directory in the same instant the new one takes its place.
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, installed.c_str(), RENAME_EXCHANGE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        error = "the new profile database could not be moved into place: " + std::string(std::strerror(errno));
        return false;
    }
    const std::string old = directory() + "/profiles.old";
    if (::rename(installed.c_str(), old.c_str()) != 0) {
        error = "the new profile database could not be moved into place: " + std::string(std::strerror(errno));
        return false;
    }
    if (::rename(fresh.c_str(), installed.c_str()) != 0) {
        error = "the new profile database could not be moved into place: " + std::string(std::strerror(errno));
        if (::rename(old.c_str(), installed.c_str()) != 0)
            diag("Could not move %s back to %s!\n", old.c_str(), installed.c_str());
        return false;
    }
    return true;
}

void StagingTree::retire()
{
    if (::access(directory().c_str(), F_OK) != 0)
        return;
    std::string error;
    if (retireTree(m_root, directory(), error))
        return;
    diag("%s; removing it now\n", error.c_str());
    removeTree(directory());
}

} // namespace Brask
