#include "FakeSdpServer.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using SdpBuild::Bytes;

FakeSdpServer::FakeSdpServer(Bytes lists, std::size_t chunk, std::size_t continuationSize)
    : FakeSdpServer([lists, chunk, continuationSize](const Bytes& request, int) {
        return serveLists(lists, chunk, continuationSize, request);
    })
{
}

FakeSdpServer::FakeSdpServer(Responder responder)
    : m_responder(std::move(responder))
{
    m_thread = std::thread([this] { run(); });
}

FakeSdpServer::~FakeSdpServer()
{
    m_stop = true;
    m_thread.join();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    for (int fd : m_pending)
        ::close(fd);
}

std::unique_ptr<Brask::SdpTransport> FakeSdpServer::connect(const Brask::CancelSignal* cancel)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0)
        return nullptr;
    adopt(fds[1]);
    return std::make_unique<Brask::SocketTransport>(fds[0], cancel);
}

void FakeSdpServer::listen(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return;
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    m_listenFd = fd;
}

void FakeSdpServer::adopt(int fd)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_pending.push_back(fd);
}

std::vector<Bytes> FakeSdpServer::requests() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_requests;
}

FakeSdpServer::Reply FakeSdpServer::serveLists(const Bytes& lists, std::size_t chunk, std::size_t continuationSize,
                                               const Bytes& request)
{
    // Request: header (5), pattern sequence, maximum byte count (2),
    // attribute ID sequence, continuation state.
    std::size_t at = 5;
    at += 2 + request.at(at + 1);
    at += 2;
    at += 2 + request.at(at + 1);
    const std::size_t continuationLength = request.at(at);
    std::size_t offset = 0;
    if (continuationLength >= 2)
        offset = (std::size_t(request.at(at + 1)) << 8) | request.at(at + 2);
    const std::size_t end = std::min(lists.size(), offset + chunk);
    const Bytes part(lists.begin() + static_cast<long>(std::min(offset, lists.size())),
                     lists.begin() + static_cast<long>(end));
    Bytes continuation;
    if (end < lists.size()) {
        continuation = SdpBuild::bigEndian(end, 2);
        continuation.resize(std::max<std::size_t>(continuationSize, 2), 0xC5);
    }
    return Reply{{SdpBuild::response(SdpBuild::tidOf(request), part, continuation)}, false};
}

void FakeSdpServer::run()
{
    std::map<int, int> connections;  // fd -> requests answered
    while (!m_stop) {
        int listenFd;
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            for (int fd : m_pending) {
                connections[fd] = 0;
                ++m_connections;
            }
            m_pending.clear();
            listenFd = m_listenFd;
        }
        std::vector<pollfd> fds;
        if (listenFd >= 0)
            fds.push_back({listenFd, POLLIN, 0});
        for (const auto& entry : connections)
            fds.push_back({entry.first, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        for (const pollfd& p : fds) {
            if (!p.revents)
                continue;
            if (p.fd == listenFd) {
                const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0)
                    adopt(fd);
                continue;
            }
            Bytes request(65536);
            const ssize_t n = ::recv(p.fd, request.data(), request.size(), 0);
            if (n <= 0) {
                ::close(p.fd);
                connections.erase(p.fd);
                continue;
            }
            request.resize(static_cast<std::size_t>(n));
            {
                std::lock_guard<std::mutex> guard(m_mutex);
                m_requests.push_back(request);
            }
            const Reply reply = m_responder(request, connections[p.fd]++);
            for (const Bytes& pdu : reply.pdus)
                ::send(p.fd, pdu.data(), pdu.size(), MSG_NOSIGNAL);
            if (reply.close) {
                ::close(p.fd);
                connections.erase(p.fd);
            }
        }
    }
    for (const auto& entry : connections)
        ::close(entry.first);
}
