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
};

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
    // when the phone answered Success to the final packet.
    Outcome put(const std::string& name, int fd, uint64_t size);
    // Ends the session; the answer is waited for briefly and only reported.
    void disconnect();

    // The packet size agreed with the phone (valid after connect()).
    size_t packetSize() const { return m_packetSize; }

private:
    struct Response {
        uint8_t code = 0;
        Obex::Bytes bytes;  // the whole packet
    };

    // Sends `packet`, then reads and checks the phone's answer.
    Outcome exchange(const Obex::Bytes& packet, const std::string& what, Response& response, int timeoutMs);
    Outcome readResponse(const std::string& what, Response& response, int timeoutMs);
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
