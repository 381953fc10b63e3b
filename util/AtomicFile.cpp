#include "util/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Brask {

namespace {

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows a chain of symbolic links to the file that is really written.
std::string resolveLinks(const std::string& path)
{
    std::string current = path;
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0)
            return current;
        target.resize(static_cast<size_t>(n));
        current = (!target.empty() && target[0] == '/') ? target : directoryOf(current) + "/" + target;
    }
    return current;
}

bool fail(std::string* error, const std::string& what, int err)
{
    if (error)
        *error = what + ": " + std::strerror(err);
    return false;
}

bool failWith(std::string* error, const std::string& what, const char* reason)
{
    if (error)
        *error = what + ": " + reason;
    return false;
}

constexpr const char* TemporaryPrefix = ".vbsave-";
constexpr size_t RandomPartLength = 6;  // mkstemp's XXXXXX

std::string hashText(const std::string& text)
{
    // FNV-1a: the same file name always gives the same prefix, and the prefix
    // is short whatever the length of the name.
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

// Removes temporary files of `base` that no save holds any more: a running
// save keeps its temporary file locked, so a file whose lock can be taken
// was left by a save that never finished (a crash, kill -9, power loss).
void removeStaleTemporaries(const std::string& dir, const std::string& prefix)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    while (const dirent* entry = ::readdir(d)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + RandomPartLength || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string path = dir + "/" + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(d);
}

// Writes all of `data` through `writeFn`; false with errno set when the disk
// stops taking bytes.
bool writeAll(int fd, const std::string& data, WriteFunction writeFn)
{
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        const ssize_t n = writeFn(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

bool readAll(int fd, std::string& out)
{
    out.clear();
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

// The directory does not let us create the temporary file, but the file
// itself may be written: rewrite it in place. The old content is kept in
// memory and the space for a longer text is reserved first, so a full disk
// normally fails before a byte is changed; should a write fail later, the old
// content is written back.
bool rewriteInPlace(const std::string& target, const std::string& path, const std::string& data,
                    std::string* error, WriteFunction writeFn)
{
    const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fail(error, "cannot write " + path, errno);
    std::string backup;
    if (!readAll(fd, backup)) {
        const int saved = errno;
        ::close(fd);
        return fail(error, "cannot read " + path + " before rewriting it", saved);
    }
    if (data.size() > backup.size()) {
        const int rc = ::posix_fallocate(fd, 0, static_cast<off_t>(data.size()));
        if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) {
            // The reservation may have grown the file before it failed.
            if (::ftruncate(fd, static_cast<off_t>(backup.size())) != 0) {
            }
            ::close(fd);
            return fail(error, "cannot write " + path, rc);
        }
    }
    int err = 0;
    if (::lseek(fd, 0, SEEK_SET) != 0 || !writeAll(fd, data, writeFn))
        err = errno;
    else if (::ftruncate(fd, static_cast<off_t>(data.size())) != 0 || ::fsync(fd) != 0)
        err = errno;
    if (err == 0)
        return ::close(fd) == 0 ? true : fail(error, "cannot close " + path, errno);

    const bool restored = ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, backup, ::write)
        && ::ftruncate(fd, static_cast<off_t>(backup.size())) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    if (restored)
        return fail(error, "cannot write " + path, err);
    return failWith(error, "cannot write " + path,
                    (std::string(std::strerror(err)) + "; the old content could not be put back either").c_str());
}

} // namespace

std::string temporaryFilePrefix(const std::string& path)
{
    return TemporaryPrefix + hashText(baseNameOf(resolveLinks(path))) + "-";
}

bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error, WriteFunction writeFn)
{
    if (!writeFn)
        writeFn = ::write;
    const std::string target = resolveLinks(path);
    const std::string dir = directoryOf(target);

    // The file's own permissions decide, as they would for a plain open: a
    // file the user may not write is refused even where the directory would
    // let us replace it.
    struct stat old;
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode))
            return failWith(error, "cannot write " + path, "not a regular file");
        const int probe = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (probe < 0)
            return fail(error, "cannot write " + path, errno);
        ::close(probe);
    }

    const std::string prefix = temporaryFilePrefix(target);
    removeStaleTemporaries(dir, prefix);
    std::string tmp = dir + "/" + prefix + "XXXXXX";
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (exists && (err == EACCES || err == EPERM))
            return rewriteInPlace(target, path, data, error, writeFn);
        return fail(error, exists ? "cannot create a temporary file beside " + path : "cannot write " + path, err);
    }
    // Held until the temporary file is renamed or removed: it tells a later
    // save that this one is still running.
    ::flock(fd, LOCK_EX);

    // Keep the permissions of the file being replaced; a new file gets the
    // usual ones.
    mode_t mode;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);

    const auto abandon = [&](const std::string& what) {
        const int saved = errno;
        ::unlink(tmp.c_str());
        ::close(fd);
        return fail(error, what, saved);
    };
    if (!writeAll(fd, data, writeFn))
        return abandon("cannot write " + path);
    if (::fsync(fd) != 0)
        return abandon("cannot flush " + path);
    if (::rename(tmp.c_str(), target.c_str()) != 0)
        return abandon("cannot replace " + path);
    ::close(fd);
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

} // namespace Brask
