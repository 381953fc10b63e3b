#pragma once
// How SDP PDUs travel: one PDU per send, one per receive, every wait bounded
// and interruptible. The real transport is an L2CAP socket to the device's
// SDP server (PSM 1); tests use a SOCK_SEQPACKET socketpair.

#include "bluetooth/BtUuid.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Brask {

// Why an exchange failed: an errno-style code and a sentence.
struct SdpError {
    int code = 0;
    std::string text;
};

// Interrupts waits on any thread: a pipe whose read end every wait polls.
class CancelSignal {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void cancel();
    bool cancelled() const { return m_cancelled.load(); }
    // Becomes readable once cancelled; -1 when the pipe could not be made
    // (then only the flag works, checked between waits).
    int fd() const { return m_pipe[0]; }

private:
    int m_pipe[2] = {-1, -1};
    std::atomic<bool> m_cancelled{false};
};

enum class SdpReceive { Ok, Timeout, Cancelled, Closed, TooLong, Error };

class SdpTransport {
public:
    virtual ~SdpTransport() = default;
    // Sends one PDU; false with `error` set on failure.
    virtual bool send(const std::uint8_t* data, std::size_t size, SdpError& error) = 0;
    // Receives one PDU into `buffer` within `timeoutMs`. TooLong when the PDU
    // did not fit in `capacity` bytes.
    virtual SdpReceive receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& size, int timeoutMs,
                               SdpError& error) = 0;
};

// A connected SOCK_SEQPACKET socket (L2CAP or Unix); owns the descriptor.
class SocketTransport : public SdpTransport {
public:
    SocketTransport(int fd, const CancelSignal* cancel);
    ~SocketTransport() override;
    SocketTransport(const SocketTransport&) = delete;
    SocketTransport& operator=(const SocketTransport&) = delete;

    bool send(const std::uint8_t* data, std::size_t size, SdpError& error) override;
    SdpReceive receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& size, int timeoutMs,
                       SdpError& error) override;

private:
    int m_fd;
    const CancelSignal* m_cancel;
};

// Connects to the SDP server (PSM 1) of the device `address` within
// `timeoutMs`; null with `error` set on failure or cancellation.
std::unique_ptr<SdpTransport> connectL2capSdp(const BtAddress& address, const CancelSignal& cancel, int timeoutMs,
                                              SdpError& error);
// Connects to a Unix SOCK_SEQPACKET socket at `path` (the test and diagnosis
// stand-in for a device's SDP server).
std::unique_ptr<SdpTransport> connectUnixSdp(const std::string& path, const CancelSignal& cancel, SdpError& error);

// The environment variable that points the search at a Unix socket instead of
// a device.
constexpr const char* SdpSocketVariable = "VARBUILD_SDP_SOCKET";

} // namespace Brask
