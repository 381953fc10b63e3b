#pragma once
// An SDP server for the tests: answers ServiceSearchAttributeRequests with
// real PDUs over SOCK_SEQPACKET sockets (a socketpair, or a Unix socket path
// for programs that connect by themselves).

#include "SdpBuild.h"
#include "bluetooth/SdpTransport.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeSdpServer {
public:
    struct Reply {
        std::vector<SdpBuild::Bytes> pdus;  // none: silence
        bool close = false;                 // close the connection after the PDUs
    };
    // Called for each request with its index on the connection.
    using Responder = std::function<Reply(const SdpBuild::Bytes& request, int index)>;

    // Serves `lists` in parts of at most `chunk` bytes, each part but the last
    // with a continuation state of `continuationSize` bytes.
    explicit FakeSdpServer(SdpBuild::Bytes lists, std::size_t chunk = 4000, std::size_t continuationSize = 2);
    explicit FakeSdpServer(Responder responder);
    ~FakeSdpServer();
    FakeSdpServer(const FakeSdpServer&) = delete;
    FakeSdpServer& operator=(const FakeSdpServer&) = delete;

    // A transport connected to this server through a socketpair.
    std::unique_ptr<Brask::SdpTransport> connect(const Brask::CancelSignal* cancel);
    // Listens on a Unix SOCK_SEQPACKET socket at `path`.
    void listen(const std::string& path);

    std::vector<SdpBuild::Bytes> requests() const;
    int connections() const { return m_connections.load(); }

    // The default answer: the part of `lists` the request's continuation asks for.
    static Reply serveLists(const SdpBuild::Bytes& lists, std::size_t chunk, std::size_t continuationSize,
                            const SdpBuild::Bytes& request);

private:
    void run();
    void adopt(int fd);

    Responder m_responder;
    mutable std::mutex m_mutex;
    std::vector<int> m_pending;
    std::vector<SdpBuild::Bytes> m_requests;
    int m_listenFd = -1;
    std::atomic<int> m_connections{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
