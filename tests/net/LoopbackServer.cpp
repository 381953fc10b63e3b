#include "LoopbackServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace NetTest {

namespace {

constexpr int SliceMs = 20;
// A request or a held connection never outlives this.
constexpr int MaxHoldMs = 20000;

int bindLoopback(int port, int& bound)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(fd);
        return -1;
    }
    bound = ntohs(address.sin_port);
    return fd;
}

} // namespace

LoopbackServer::LoopbackServer(Script script)
    : LoopbackServer(std::move(script), 0)
{
}

LoopbackServer::LoopbackServer(Script script, int port)
    : m_script(std::move(script))
{
    m_listen = bindLoopback(port, m_port);
    if (m_listen < 0) {
        m_port = 0;
        return;
    }
    m_thread = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
}

std::string LoopbackServer::address() const
{
    return "127.0.0.1:" + std::to_string(m_port);
}

std::vector<std::string> LoopbackServer::requests()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

Reply LoopbackServer::ok(const std::string& body)
{
    return raw("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size())
               + "\r\n\r\n" + body);
}

void LoopbackServer::serve()
{
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, SliceMs) <= 0)
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        ++m_connections;
        handle(fd);
        ::close(fd);
    }
}

void LoopbackServer::handle(int fd)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(MaxHoldMs);
    auto hold = [&] {
        while (!m_stop && Clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, SliceMs) > 0) {
                char sink[256];
                if (::recv(fd, sink, sizeof sink, 0) <= 0)
                    return;
            }
        }
    };
    std::string request;
    if (silent) {
        hold();
        return;
    }
    // The request ends with an empty line (LF or CRLF line ends).
    while (!m_stop && Clock::now() < deadline && request.size() < 65536
           && request.find("\n\n") == std::string::npos && request.find("\r\n\r\n") == std::string::npos) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, SliceMs) <= 0)
            continue;
        char buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        request.append(buffer, static_cast<size_t>(n));
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_requests.push_back(request);
    }
    std::string path;
    if (request.rfind("GET ", 0) == 0) {
        const size_t end = request.find(' ', 4);
        path = request.substr(4, end == std::string::npos ? std::string::npos : end - 4);
    }
    const Reply reply = m_script(path);
    size_t sent = 0;
    while (sent < reply.bytes.size() && !m_stop && Clock::now() < deadline) {
        const size_t chunk = reply.dripMs > 0 ? 1 : reply.bytes.size() - sent;
        const ssize_t n = ::send(fd, reply.bytes.data() + sent, chunk, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
        m_bytesSent += n;
        if (reply.dripMs > 0) {
            // A closed peer ends the drip early.
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, reply.dripMs) > 0) {
                char sink[256];
                if (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) == 0)
                    break;
            }
        }
    }
    if (reply.stall)
        hold();
}

int closedPort()
{
    int port = 0;
    const int fd = bindLoopback(0, port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

} // namespace NetTest
