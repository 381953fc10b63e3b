#include "Link.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Sendel {

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

namespace {

constexpr int kStopped = 2;

// Waits for `events` on `fd` until `deadline`, or until `stopFd` (when not
// -1) is readable. 1 ready, 0 timed out, -1 error, kStopped stopped.
int waitFor(int fd, short events, Clock::time_point deadline, int stopFd)
{
    for (;;) {
        pollfd p[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
        const int r = ::poll(p, stopFd >= 0 ? 2 : 1, remainingMs(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return r;
        if (stopFd >= 0 && (p[1].revents & POLLIN))
            return kStopped;
        return 1;
    }
}

bool isClosedError(int error)
{
    return error == ECONNRESET || error == EPIPE || error == ENOTCONN || error == ECONNABORTED;
}

} // namespace

Link::~Link()
{
    close();
}

bool Link::stopRequested() const
{
    if (m_stopFd < 0)
        return false;
    pollfd p{m_stopFd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

void Link::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool Link::finishConnect(const void* address, unsigned length, Clock::time_point deadline, std::string& why)
{
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        why = std::strerror(errno);
        close();
        return false;
    }
    if (::connect(m_fd, static_cast<const sockaddr*>(address), length) == 0)
        return true;
    if (errno != EINPROGRESS && errno != EINTR) {
        why = std::strerror(errno);
        close();
        return false;
    }
    const int ready = waitFor(m_fd, POLLOUT, deadline, m_stopFd);
    if (ready == kStopped) {
        why = "stopped while connecting";
        close();
        return false;
    }
    if (ready == 0) {
        why = "no answer in time";
        close();
        return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (ready < 0)
        error = errno;
    else if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) < 0)
        error = errno;
    if (error != 0) {
        why = std::strerror(error);
        close();
        return false;
    }
    return true;
}

bool Link::connectRfcomm(const std::string& address, int channel, Clock::time_point deadline, std::string& why)
{
    close();
    m_fd = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_CLOEXEC, BTPROTO_RFCOMM);
    if (m_fd < 0) {
        why = std::string("this machine offers no Bluetooth sockets (") + std::strerror(errno) + ")";
        return false;
    }
    sockaddr_rc target{};
    target.rc_family = AF_BLUETOOTH;
    str2ba(address.c_str(), &target.rc_bdaddr);
    target.rc_channel = static_cast<uint8_t>(channel);
    if (finishConnect(&target, sizeof target, deadline, why))
        return true;
    why += " (is the phone on, in range, with Bluetooth switched on?)";
    return false;
}

bool Link::connectUnix(const std::string& path, Clock::time_point deadline, std::string& why)
{
    close();
    sockaddr_un target{};
    if (path.empty() || path.size() >= sizeof target.sun_path) {
        why = "the socket path must have 1 to " + std::to_string(sizeof target.sun_path - 1) + " bytes";
        return false;
    }
    target.sun_family = AF_UNIX;
    std::memcpy(target.sun_path, path.c_str(), path.size() + 1);
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    return finishConnect(&target, sizeof target, deadline, why);
}

bool Link::adopt(int fd)
{
    close();
    m_fd = fd;
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (flags < 0 || ::fcntl(m_fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        close();
        return false;
    }
    return true;
}

Io Link::sendAll(const uint8_t* data, size_t size, Clock::time_point deadline, int& error)
{
    error = 0;
    if (stopRequested())
        return Io::Stopped;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::send(m_fd, data + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const int ready = waitFor(m_fd, POLLOUT, deadline, -1);
            if (ready == 0)
                return Io::TimedOut;
            if (ready < 0) {
                error = errno;
                return Io::Failed;
            }
            continue;
        }
        error = n < 0 ? errno : EPIPE;
        return isClosedError(error) ? Io::Closed : Io::Failed;
    }
    return Io::Ok;
}

Io Link::receiveExact(uint8_t* data, size_t size, Clock::time_point deadline, size_t& got, int& error)
{
    error = 0;
    got = 0;
    if (stopRequested())
        return Io::Stopped;
    while (got < size) {
        const ssize_t n = ::recv(m_fd, data + got, size - got, 0);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (n == 0)
            return Io::Closed;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            const int ready = waitFor(m_fd, POLLIN, deadline, m_stopFd);
            if (ready == kStopped)
                return Io::Stopped;
            if (ready == 0)
                return Io::TimedOut;
            if (ready < 0) {
                error = errno;
                return Io::Failed;
            }
            continue;
        }
        error = errno;
        return isClosedError(error) ? Io::Closed : Io::Failed;
    }
    return Io::Ok;
}

bool Link::hasPendingBytes()
{
    uint8_t byte;
    for (;;) {
        const ssize_t n = ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        return n > 0;
    }
}

} // namespace Sendel
