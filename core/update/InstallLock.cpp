#include "core/update/InstallLock.h"

#include "util/Diagnostics.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace Brask {

namespace {

std::atomic<int> defaultWait{InstallLock::DefaultWaitMilliseconds};
constexpr int RetryMilliseconds = 50;

} // namespace

InstallLock::InstallLock(std::string root, Kind kind)
    : m_root(std::move(root))
    , m_kind(kind)
{
}

InstallLock::~InstallLock()
{
    release();
}

void InstallLock::setDefaultWaitMilliseconds(int milliseconds)
{
    defaultWait = milliseconds > 0 ? milliseconds : DefaultWaitMilliseconds;
}

InstallLock::Result InstallLock::acquire(int waitMilliseconds, const std::atomic<bool>* cancelled,
                                         std::string& error, bool shared)
{
    if (held())
        return Taken;
    // A reader may lack write access to the installation: a shared lock needs
    // only a readable file.
    const int fd = ::open(path().c_str(), (shared ? O_RDONLY : O_RDWR) | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        error = "the installation could not be locked (" + path() + ": " + std::strerror(errno) + ")";
        return Failed;
    }
    const auto deadline = std::chrono::steady_clock::now()
                          + std::chrono::milliseconds(waitMilliseconds < 0 ? defaultWait.load() : waitMilliseconds);
    bool said = false;
    for (;;) {
        if (::flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0) {
            m_fd = fd;
            return Taken;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error = "the installation could not be locked (" + path() + ": " + std::strerror(errno) + ")";
            ::close(fd);
            return Failed;
        }
        if (cancelled && cancelled->load()) {
            ::close(fd);
            return Cancelled;
        }
        if (!said && errno == EWOULDBLOCK && m_kind == Install) {
            said = true;
            diag("Another profile update is running; waiting for it to finish...\n");
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return Busy;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(RetryMilliseconds));
    }
}

void InstallLock::release()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace Brask
