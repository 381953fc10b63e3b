#pragma once
// One Object Push session over a connected Link: CONNECT, the PUT of one
// file in packets of the negotiated size, DISCONNECT. Every answer of the
// phone is checked before anything in it is used.

#include "Link.h"
#include "Obex.h"

#include <cstdint>
#include <functional>
#include <string>

namespace Sendel {

// The exit statuses of sendel; each outcome has its own.
enum Status {
    StatusSent = 0,
    StatusBadArguments = 1,
    StatusFileError = 2,
    StatusUnreachable = 3,
    StatusRefused = 4,
    StatusProtocolError = 5,
    StatusTimedOut = 6,
    StatusConnectionClosed = 7,
    // Told to end by a signal; sendel then ends by that signal, so this is
    // only the outcome's name.
    StatusStopped = 8,
};

// A stopped sendel is killed half a second after the signal by the tool that
// ran it: the ABORT and the DISCONNECT must fit in less than that.
constexpr int StopAbortMs = 200;
constexpr int StopDisconnectMs = 150;

struct Outcome {
    Status status = StatusSent;
    std::string message;  // the error line's text when status is not StatusSent

    bool ok() const { return status == StatusSent; }
};

class ObjectPush {
public:
    using Printer = std::function<void(const std::string& line)>;

    // `timeoutMs` bounds the wait for each answer of the phone.
    ObjectPush(Link& link, int timeoutMs, Printer print);

    Outcome connect();
    // Sends `size` bytes read from `fd` under the name `name`. Succeeds only
    // when the phone answered Success to the final packet. When sendel is
    // stopped or the file cannot be read once the phone has part of it, the
    // phone is sent an ABORT (the session stays for disconnect()).
    Outcome put(const std::string& name, int fd, uint64_t size);
    // Ends the session; the answer is waited for up to `timeoutMs` (at most
    // 5 s when -1) and only reported.
    void disconnect(int timeoutMs = -1);

    // The packet size agreed with the phone (valid after connect()).
    size_t packetSize() const { return m_packetSize; }

private:
    struct Response {
        uint8_t code = 0;
        Obex::Bytes bytes;  // the whole packet
    };

    // Sends `packet`, then reads and checks the phone's answer. `sent` says
    // whether the whole packet went out.
    Outcome exchange(const Obex::Bytes& packet, const std::string& what, Response& response, int timeoutMs,
                     bool* sent = nullptr);
    // Reads one answer; with `onlyAnswer` no further byte may follow it.
    Outcome readResponse(const std::string& what, Response& response, int timeoutMs, bool onlyAnswer = true);
    // Tells the phone to drop the PUT under way; the answer (after a late
    // one to the last PUT) is waited for up to `timeoutMs` and only reported.
    void abortPut(int timeoutMs);
    // The outcome of an answer that is neither Continue nor Success where one
    // of them was expected.
    Outcome unexpected(const std::string& what, uint8_t code) const;
    // A request packet with the Connection ID first, when the phone gave one.
    Obex::Bytes request(uint8_t opcode) const;

    Link& m_link;
    int m_timeoutMs;
    Printer m_print;
    size_t m_packetSize = Obex::MinimumPacket;
    bool m_hasConnectionId = false;
    uint32_t m_connectionId = 0;
};

// "2 s" or "300 ms"
std::string durationText(int ms);

} // namespace Sendel
