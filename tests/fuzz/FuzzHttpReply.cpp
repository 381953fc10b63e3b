// Fuzz target: the HTTP client reading a server's reply (status line, header,
// length field, body). A loopback peer in this process reads each request and
// answers with the input's bytes, then closes its side. An input counts as
// checked only when the peer had the whole request and answered it, so a peer
// that misreads the request's end cannot pass unnoticed.
//
// What must hold: an announced length is never negative beyond "none" (-1)
// nor above the ceiling, and a body reported whole has exactly the announced
// length and is the reply's bytes that follow the header; a body reported
// short really is short.

#include "FuzzSupport.h"
#include "net/HttpGet.h"
#include "util/Diagnostics.h"

#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <atomic>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Serves one connection at a time with the reply the current input holds.
class Peer {
public:
    Peer()
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(m_listen, 4) != 0
            || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            std::abort();
        m_url = "127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/fuzz";
        std::thread([this] { serve(); }).detach();
    }

    const std::string& url() const { return m_url; }

    // Whether a request made since the last setReply was read whole and answered.
    bool answered() const { return m_answered.load(); }

    void setReply(const std::uint8_t* data, std::size_t size)
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_reply.assign(reinterpret_cast<const char*>(data), size);
        m_answered = false;
    }

private:
    void serve()
    {
        for (;;) {
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            std::string reply;
            {
                std::lock_guard<std::mutex> hold(m_lock);
                reply = m_reply;
            }
            // The whole request first: closing with unread bytes would reset
            // the connection and lose the reply.
            std::string request;
            char buffer[512];
            while (!requestEnded(request)) {
                pollfd p{fd, POLLIN, 0};
                if (::poll(&p, 1, 1000) <= 0)
                    break;
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<std::size_t>(n));
            }
            if (!requestEnded(request)) {
                ::close(fd);
                continue;
            }
            m_answered = true;
            std::size_t sent = 0;
            while (sent < reply.size()) {
                const ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<std::size_t>(n);
            }
            ::shutdown(fd, SHUT_WR);
            // Until the client has closed its end.
            pollfd p{fd, POLLIN, 0};
            while (::poll(&p, 1, 1000) > 0 && ::recv(fd, buffer, sizeof buffer, 0) > 0) {
            }
            ::close(fd);
        }
    }

    // The client ends its header with CRLF CRLF; a bare LF LF is accepted too.
    static bool requestEnded(const std::string& request)
    {
        return request.find("\r\n\r\n") != std::string::npos || request.find("\n\n") != std::string::npos;
    }

    int m_listen = -1;
    std::string m_url;
    std::mutex m_lock;
    std::string m_reply;
    std::atomic<bool> m_answered{false};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Peer* peer = [] {
        Brask::setDiagnosticStream(nullptr);
        // The peer answers at once and then closes its side, so no input
        // waits this long; it only covers a peer thread that a loaded
        // machine schedules late, which must not make an input go unchecked.
        Brask::setHttpTimeoutMilliseconds(3000);
        return new Peer;
    }();
    peer->setReply(data, size);

    int length = -2;
    const int socket = Brask::KVHttpGet(peer->url().c_str(), length);
    // The client has returned after reading at least the reply's start, or
    // after the peer closed: an answered request was answered before that.
    if (peer->answered())
        Fuzz::reachedChecks();
    if (!socket)
        return 0;
    if (length < -1 || length > Brask::HttpBodyCeiling)
        std::abort();
    KVUtil::String body;
    long long received = -1;
    const bool whole = Brask::httpReadWholeBody(body, length, socket, nullptr, received);
    Brask::closeHttpSocket(socket);
    if (whole && length > 0) {
        if (received != length || body.size() != static_cast<std::size_t>(length))
            std::abort();
        // The body is the reply's bytes right after the header, which ends
        // with an empty line or after 2048 bytes.
        std::size_t header = 0;
        for (int lineEnds = 0; lineEnds < 2 && header < size && header < Brask::HttpHeaderBufferSize; ++header) {
            if (data[header] == '\n')
                ++lineEnds;
            else if (data[header] != '\r')
                lineEnds = 0;
        }
        if (size - header < body.size() || std::memcmp(data + header, body.data(), body.size()) != 0)
            std::abort();
    }
    if (!whole && length > 0 && received >= length)
        std::abort();
    return 0;
}
