#pragma once
// The over-the-air server: serves a project's built Java ME packages to a
// phone's browser over HTTP, below a random token, and takes the phone's
// install reports. One implementation for varbuild-cli serve and the
// window's delivery dialog.
//
// Clients are untrusted: a request head over 8 KiB, a report body over
// 1 KiB, a request not received within the deadline and connections beyond
// the limit are refused; nothing a client sends can reach a file outside
// the project's Output folder or end the process.

#include "delivery/DeliveryCatalog.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace Delivery {

struct ServerOptions {
    // A literal IPv4 or IPv6 address; empty: the address of the interface
    // that holds the default route. 0.0.0.0 listens on every interface.
    std::string address;
    // 0: a free port.
    uint16_t port = 0;
    // A request (line, headers and body) must arrive within this time.
    std::chrono::milliseconds requestDeadline{10000};
    // A response that makes no progress for this long is given up.
    unsigned idleSeconds = 30;
    unsigned maxConnections = 32;
};

class OtaServer {
public:
    static constexpr size_t kMaxRequestHead = 8192;
    static constexpr size_t kMaxReportBody = 1024;

    // `say` receives one line per request, per install report and per
    // refused connection, on the server's own thread, without line end.
    OtaServer(DeliveryCatalog catalog, std::function<void(const std::string&)> say);
    // Stops the server.
    ~OtaServer();
    OtaServer(const OtaServer&) = delete;
    OtaServer& operator=(const OtaServer&) = delete;

    // Binds and starts serving on a thread of its own; false with a reason
    // (an address that is not this machine's, a port in use).
    bool start(const ServerOptions& options, std::string* error);
    // Closes every connection and the listening socket; waits for the
    // server's thread. Safe to call twice.
    void stop();
    bool running() const;

    // http://HOST:PORT/TOKEN/ once started.
    const std::string& url() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace Delivery
