#pragma once
// The byte stream to the phone: an RFCOMM socket, or for tests a Unix stream
// socket standing in for it. Every operation ends by its deadline.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace Sendel {

using Clock = std::chrono::steady_clock;

enum class Io {
    Ok,
    TimedOut,
    Closed,  // end of stream, or the peer reset the connection
    Failed,  // any other socket error (errno kept)
    Stopped, // the stop descriptor became readable (sendel was told to end)
};

class Link {
public:
    Link() = default;
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // Connects to RFCOMM `channel` of the device whose address is given as
    // "AA:BB:CC:DD:EE:FF". False with `why` on failure.
    bool connectRfcomm(const std::string& address, int channel, Clock::time_point deadline, std::string& why);
    // Connects to the Unix stream socket at `path`.
    bool connectUnix(const std::string& path, Clock::time_point deadline, std::string& why);
    // Takes over `fd`, a stream socket that is already connected (one end of
    // a socketpair in the fuzz target). False when it cannot be made
    // non-blocking; the descriptor is then closed.
    bool adopt(int fd);

    // A descriptor that turns readable when sendel is told to end (the
    // signal handler's pipe). While it is watched, a wait returns Stopped
    // as soon as it is readable; -1 watches nothing.
    void watchStop(int fd) { m_stopFd = fd; }
    // What follows is the orderly end of the session: no more Stopped.
    void ignoreStop() { m_stopFd = -1; }

    // Sends all of `data`; `error` is the errno for Failed and Closed.
    // Stopped only before the first byte: a packet once begun is sent whole,
    // so the phone can still read what comes after it.
    Io sendAll(const uint8_t* data, size_t size, Clock::time_point deadline, int& error);
    // Reads exactly `size` bytes; `got` says how many arrived before a
    // failure.
    Io receiveExact(uint8_t* data, size_t size, Clock::time_point deadline, size_t& got, int& error);
    // True when bytes are waiting to be read right now (end of stream and
    // errors are not bytes).
    bool hasPendingBytes();

    void close();

private:
    // Non-blocking connect of the prepared socket `m_fd`.
    bool finishConnect(const void* address, unsigned length, Clock::time_point deadline, std::string& why);

    bool stopRequested() const;

    int m_fd = -1;
    int m_stopFd = -1;
};

// Milliseconds until `deadline`, at least 0.
int remainingMs(Clock::time_point deadline);

} // namespace Sendel
