#include "bluetooth/SdpTransport.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/l2cap.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Brask {

namespace {

SdpError systemError(int code, const std::string& what)
{
    return SdpError{code, what + ": " + std::strerror(code)};
}

// Waits until `fd` is ready for `events`, the cancel signal fires or the time
// is up. 1 = ready, 0 = time-out, -1 = cancelled, -2 = poll failed (errno).
int waitFor(int fd, short events, const CancelSignal* cancel, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (cancel && cancel->cancelled())
            return -1;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return 0;
        pollfd fds[2] = {{fd, events, 0}, {cancel ? cancel->fd() : -1, POLLIN, 0}};
        const int n = ::poll(fds, 2, static_cast<int>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -2;
        }
        if (fds[1].revents)
            return -1;
        if (fds[0].revents)
            return 1;
    }
}

} // namespace

CancelSignal::CancelSignal()
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        m_pipe[0] = m_pipe[1] = -1;
}

CancelSignal::~CancelSignal()
{
    if (m_pipe[0] >= 0)
        ::close(m_pipe[0]);
    if (m_pipe[1] >= 0)
        ::close(m_pipe[1]);
}

void CancelSignal::cancel()
{
    if (m_cancelled.exchange(true))
        return;
    if (m_pipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_pipe[1], &byte, 1);
    }
}

SocketTransport::SocketTransport(int fd, const CancelSignal* cancel)
    : m_fd(fd)
    , m_cancel(cancel)
{
}

SocketTransport::~SocketTransport()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SocketTransport::send(const std::uint8_t* data, std::size_t size, SdpError& error)
{
    for (;;) {
        const ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == static_cast<ssize_t>(size))
            return true;
        if (n >= 0) {
            error = SdpError{EMSGSIZE, "request sent in part"};
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            error = systemError(errno, "sending the request");
            return false;
        }
        // A full send buffer: wait for room, as long as a response may take.
        const int ready = waitFor(m_fd, POLLOUT, m_cancel, 10000);
        if (ready == 0) {
            error = SdpError{ETIMEDOUT, "the device takes no request"};
            return false;
        }
        if (ready == -1) {
            error = SdpError{ECANCELED, "cancelled"};
            return false;
        }
        if (ready == -2) {
            error = systemError(errno, "waiting to send");
            return false;
        }
    }
}

SdpReceive SocketTransport::receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& size, int timeoutMs,
                                    SdpError& error)
{
    size = 0;
    const int ready = waitFor(m_fd, POLLIN, m_cancel, timeoutMs);
    if (ready == 0) {
        error = SdpError{ETIMEDOUT, "no answer within " + std::to_string(timeoutMs) + " ms"};
        return SdpReceive::Timeout;
    }
    if (ready == -1) {
        error = SdpError{ECANCELED, "cancelled"};
        return SdpReceive::Cancelled;
    }
    if (ready == -2) {
        error = systemError(errno, "waiting for the answer");
        return SdpReceive::Error;
    }
    iovec iov{buffer, capacity};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t n;
    do {
        n = ::recvmsg(m_fd, &msg, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        error = systemError(errno, "receiving the answer");
        return SdpReceive::Error;
    }
    if (n == 0) {
        error = SdpError{ECONNRESET, "the device closed the connection"};
        return SdpReceive::Closed;
    }
    if (msg.msg_flags & MSG_TRUNC) {
        error = SdpError{EMSGSIZE, "an answer longer than " + std::to_string(capacity) + " bytes"};
        return SdpReceive::TooLong;
    }
    size = static_cast<std::size_t>(n);
    return SdpReceive::Ok;
}

namespace {

// Connects the non-blocking socket `fd` to `address`, waiting at most
// `timeoutMs`. Closes `fd` on failure.
std::unique_ptr<SdpTransport> finishConnect(int fd, const sockaddr* address, socklen_t length,
                                            const CancelSignal& cancel, int timeoutMs, SdpError& error)
{
    if (::connect(fd, address, length) != 0) {
        if (errno != EINPROGRESS && errno != EAGAIN) {
            error = systemError(errno, "connecting");
            ::close(fd);
            return nullptr;
        }
        const int ready = waitFor(fd, POLLOUT, &cancel, timeoutMs);
        if (ready != 1) {
            if (ready == 0)
                error = SdpError{ETIMEDOUT, "no connection within " + std::to_string(timeoutMs) + " ms"};
            else if (ready == -1)
                error = SdpError{ECANCELED, "cancelled"};
            else
                error = systemError(errno, "connecting");
            ::close(fd);
            return nullptr;
        }
        int code = 0;
        socklen_t codeLength = sizeof code;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &code, &codeLength) != 0)
            code = errno;
        if (code != 0) {
            error = systemError(code, "connecting");
            ::close(fd);
            return nullptr;
        }
    }
    return std::make_unique<SocketTransport>(fd, &cancel);
}

} // namespace

std::unique_ptr<SdpTransport> connectL2capSdp(const BtAddress& address, const CancelSignal& cancel, int timeoutMs,
                                              SdpError& error)
{
    const int fd = ::socket(AF_BLUETOOTH, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, BTPROTO_L2CAP);
    if (fd < 0) {
        error = systemError(errno, "no Bluetooth L2CAP socket");
        return nullptr;
    }
    sockaddr_l2 remote{};
    remote.l2_family = AF_BLUETOOTH;
    remote.l2_psm = htobs(1);
    // The socket address keeps the least significant byte first.
    for (int i = 0; i < 6; ++i)
        remote.l2_bdaddr.b[i] = address[5 - i];
    return finishConnect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote, cancel, timeoutMs, error);
}

std::unique_ptr<SdpTransport> connectUnixSdp(const std::string& path, const CancelSignal& cancel, SdpError& error)
{
    sockaddr_un remote{};
    remote.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof remote.sun_path) {
        error = SdpError{ENAMETOOLONG, "unusable socket path \"" + path + "\""};
        return nullptr;
    }
    std::memcpy(remote.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = systemError(errno, "no Unix socket");
        return nullptr;
    }
    return finishConnect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote, cancel, 5000, error);
}

} // namespace Brask
