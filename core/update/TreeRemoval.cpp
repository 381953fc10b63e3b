#include "core/update/TreeRemoval.h"

#include "util/Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Brask {

namespace {

bool stopped(const std::atomic<bool>* stop)
{
    return stop && stop->load(std::memory_order_relaxed);
}

// The names in the directory open on `fd` (which this takes over), in the
// order of their inode numbers: removing them in that order touches the
// file system's inode tables in order instead of at random, which on a
// large tree saves much of the time.
bool readNames(int fd, std::vector<std::string>& names)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    std::vector<std::pair<ino_t, std::string>> found;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, ".."))
            found.emplace_back(entry->d_ino, entry->d_name);
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end());
    for (auto& [inode, name] : found)
        names.push_back(std::move(name));
    return true;
}

// Removes `name` in the directory `parentFd`. A name that has gone
// (ENOENT) is someone else's removal and fine.
bool removeAt(int parentFd, const std::string& name, const std::atomic<bool>* stop, int depth)
{
    if (stopped(stop))
        return false;
    // Linux says EISDIR for a directory, other systems EPERM.
    if (::unlinkat(parentFd, name.c_str(), 0) == 0 || errno == ENOENT)
        return true;
    if ((errno != EISDIR && errno != EPERM) || depth > 256)
        return false;
    const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    std::vector<std::string> names;
    const int keep = ::dup(fd);
    if (keep < 0 || !readNames(fd, names)) {
        if (keep >= 0)
            ::close(keep);
        return false;
    }
    bool ok = true;
    for (const std::string& child : names)
        ok = removeAt(keep, child, stop, depth + 1) && ok;
    ::close(keep);
    if (!ok)
        return false;
    return ::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

} // namespace

std::string retiredTreesDirectory(const std::string& root)
{
    return root + "/.profiles-old";
}

bool retireTree(const std::string& root, const std::string& path, std::string& error)
{
    const std::string directory = retiredTreesDirectory(root);
    // A remover may take the directory away between the steps: a few tries.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST)
            break;
        std::string name = directory + "/tree-XXXXXX";
        if (!::mkdtemp(name.data())) {
            if (errno == ENOENT)
                continue;
            break;
        }
        // A directory replaces the empty one mkdtemp made, in one step.
        if (::rename(path.c_str(), name.c_str()) == 0)
            return true;
        if (errno != ENOENT || ::access(path.c_str(), F_OK) != 0)
            break;
    }
    error = path + " could not be moved to " + directory + ": " + std::strerror(errno);
    return false;
}

bool removeTree(const std::string& path, const std::atomic<bool>* stop)
{
    const size_t slash = path.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    const bool ok = removeAt(fd, path.substr(slash + 1), stop, 0);
    ::close(fd);
    return ok;
}

bool removeRetiredTrees(const std::string& root, const std::atomic<bool>* stop)
{
    const std::string directory = retiredTreesDirectory(root);
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    const int keep = ::dup(fd);
    std::vector<std::string> names;
    if (keep < 0 || !readNames(fd, names)) {
        if (keep >= 0)
            ::close(keep);
        return false;
    }
    bool ok = true;
    for (const std::string& name : names)
        ok = removeAt(keep, name, stop, 0) && ok;
    ::close(keep);
    if (!ok) {
        if (!stopped(stop))
            diag("Could not remove everything in %s: %s\n", directory.c_str(), std::strerror(errno));
        return false;
    }
    // Another update may just have moved a tree in: then it stays for later.
    if (::rmdir(directory.c_str()) != 0 && errno != ENOENT && errno != ENOTEMPTY && errno != EEXIST)
        return false;
    return true;
}

} // namespace Brask
