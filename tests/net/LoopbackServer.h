#pragma once
// A scripted HTTP server of the tests' own on 127.0.0.1 and a free port. Each
// connection's request is read (bounded), recorded, and answered with the
// bytes the script gives for its path; then the connection is closed. Every
// wait is bounded and the server thread ends with the object.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace NetTest {

struct Reply {
    std::string bytes;      // sent as they are
    bool stall = false;  // after sending, hold the connection until the server stops
    int dripMs = 0;      // > 0: one byte, then this long a pause, and so on
};

class LoopbackServer {
public:
    using Script = std::function<Reply(const std::string& path)>;

    explicit LoopbackServer(Script script);
    // Binds a given port (0 = any free one); port() is 0 when that failed.
    LoopbackServer(Script script, int port);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return m_port; }
    // "127.0.0.1:PORT"
    std::string address() const;
    // Every request received so far, as bytes.
    std::vector<std::string> requests();
    int connections() const { return m_connections.load(); }
    // Bytes of replies sent so far (a dripping reply counts as it goes).
    long long bytesSent() const { return m_bytesSent.load(); }
    // Accept connections but never read or answer (held until the server stops).
    std::atomic<bool> silent{false};

    // A full answer with a Content-Length field.
    static Reply ok(const std::string& body);
    static Reply raw(const std::string& bytes) { return Reply{bytes, false}; }

private:
    void serve();
    void handle(int fd);

    Script m_script;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::atomic<long long> m_bytesSent{0};
    std::mutex m_lock;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// A loopback port with nothing listening on it (bound, then released).
int closedPort();

} // namespace NetTest
