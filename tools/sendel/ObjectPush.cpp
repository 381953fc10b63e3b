#include "ObjectPush.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace Sendel {

using namespace Obex;

std::string durationText(int ms)
{
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000) + " s";
    return std::to_string(ms) + " ms";
}

namespace {

Outcome fail(Status status, std::string message)
{
    return Outcome{status, std::move(message)};
}

// What a refusal code usually means on a phone.
const char* refusalHint(uint8_t code)
{
    switch (code) {
    case 0xC1:
    case 0xC3:
    case 0xC6:
        return ": declined on the phone";
    case 0xCD:
    case 0xE0:
        return ": no room for the file on the phone";
    case 0xCF:
        return ": the phone does not take this kind of file";
    default:
        return "";
    }
}

// Reads exactly `size` bytes of the file. False with `why` when it ends early
// or cannot be read.
bool readFileExact(int fd, uint8_t* data, size_t size, std::string& why)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = std::string("cannot read the file: ") + std::strerror(errno);
            return false;
        }
        if (n == 0) {
            why = "the file became shorter while it was being sent";
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

ObjectPush::ObjectPush(Link& link, int timeoutMs, Printer print)
    : m_link(link)
    , m_timeoutMs(timeoutMs)
    , m_print(std::move(print))
{
}

Bytes ObjectPush::request(uint8_t opcode) const
{
    Bytes packet = startPacket(opcode);
    if (m_hasConnectionId)
        appendFourByteHeader(packet, HeaderConnectionId, m_connectionId);
    return packet;
}

Outcome ObjectPush::exchange(const Bytes& packet, const std::string& what, Response& response, int timeoutMs,
                             bool* sent)
{
    int error = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    if (sent)
        *sent = false;
    switch (m_link.sendAll(packet.data(), packet.size(), deadline, error)) {
    case Io::Ok:
        if (sent)
            *sent = true;
        break;
    case Io::Stopped:
        return fail(StatusStopped, "stopped before the " + what + " was sent");
    case Io::TimedOut:
        return fail(StatusTimedOut, "time-out: the phone took no data for " + durationText(timeoutMs) + " while the " + what
                                        + " was being sent");
    case Io::Closed:
        return fail(StatusConnectionClosed, "the phone closed the connection while the " + what + " was being sent");
    case Io::Failed:
        return fail(StatusConnectionClosed,
                    "the connection to the phone broke while the " + what + " was being sent: " + std::strerror(error));
    }
    return readResponse(what, response, timeoutMs);
}

Outcome ObjectPush::readResponse(const std::string& what, Response& response, int timeoutMs, bool onlyAnswer)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint8_t head[PacketHeaderSize];
    size_t got = 0;
    int error = 0;
    size_t expected = PacketHeaderSize;

    // Turns a failed read of the answer into its outcome; `got` bytes of
    // `expected` had arrived (counting from the start of the packet).
    const auto readFailure = [&](Io io, size_t have) {
        const std::string of = std::to_string(have) + " of " + std::to_string(expected) + " bytes";
        switch (io) {
        case Io::Stopped:
            return fail(StatusStopped, "stopped while waiting for the phone's answer to the " + what);
        case Io::TimedOut:
            if (have == 0)
                return fail(StatusTimedOut, "time-out: the phone did not answer the " + what + " within " + durationText(timeoutMs));
            return fail(StatusTimedOut, "time-out: the phone's answer to the " + what + " stopped after " + of
                                            + " (nothing more within " + durationText(timeoutMs) + ")");
        case Io::Closed:
            if (have == 0)
                return fail(StatusConnectionClosed, "the phone closed the connection instead of answering the " + what);
            return fail(StatusProtocolError, "the phone's answer to the " + what + " was cut short: the connection closed after "
                                                 + of);
        default:
            return fail(StatusConnectionClosed, "the connection to the phone broke while waiting for the answer to the " + what
                                                    + ": " + std::strerror(error));
        }
    };

    Io io = m_link.receiveExact(head, sizeof head, deadline, got, error);
    if (io != Io::Ok)
        return readFailure(io, got);

    const size_t length = readU16(head + 1);
    if (length < PacketHeaderSize)
        return fail(StatusProtocolError, "the phone's answer to the " + what + " gives a packet length of " + std::to_string(length)
                                             + ", less than the 3 bytes of its own header");
    if (length > OurMaximumPacket)
        return fail(StatusProtocolError, "the phone's answer to the " + what + " gives a packet length of " + std::to_string(length)
                                             + ", more than the maximum of " + std::to_string(OurMaximumPacket) + " we announced");
    expected = length;
    response.code = head[0];
    response.bytes.assign(head, head + sizeof head);
    response.bytes.resize(length);
    io = m_link.receiveExact(response.bytes.data() + sizeof head, length - sizeof head, deadline, got, error);
    if (io != Io::Ok)
        return readFailure(io, sizeof head + got);

    // Answers come one per request; anything beyond the declared length means
    // the length is wrong and the rest of the stream cannot be trusted.
    if (onlyAnswer && m_link.hasPendingBytes())
        return fail(StatusProtocolError, "the phone sent more bytes than the packet length " + std::to_string(length)
                                             + " of its answer to the " + what + " says");
    if (!(response.code & 0x80))
        return fail(StatusProtocolError, "the phone's answer " + hexByte(response.code) + " to the " + what + " lacks the final bit");
    return {};
}

Outcome ObjectPush::unexpected(const std::string& what, uint8_t code) const
{
    const std::string answer = hexByte(code) + " " + responseName(code);
    if (code >= 0xC0) {
        if (what == "CONNECT")
            return fail(StatusRefused, "refused by the phone: it answered the CONNECT with " + answer + refusalHint(code));
        return fail(StatusRefused, "refused by the phone: it answered the file with " + answer + refusalHint(code));
    }
    return fail(StatusProtocolError, "unexpected answer " + answer + " to the " + what);
}

Outcome ObjectPush::connect()
{
    Response response;
    Outcome outcome = exchange(connectRequest(static_cast<uint16_t>(OurMaximumPacket)), "CONNECT", response, m_timeoutMs);
    if (!outcome.ok())
        return outcome;
    if (response.code != ResponseSuccess)
        return unexpected("CONNECT", response.code);
    if (response.bytes.size() < ConnectPacketSize)
        return fail(StatusProtocolError, "the phone's answer to the CONNECT has " + std::to_string(response.bytes.size())
                                             + " bytes, too few for version, flags and maximum packet length");

    size_t peerMaximum = readU16(response.bytes.data() + 5);
    if (peerMaximum < MinimumPacket) {
        m_print("the phone announced a maximum packet length of " + std::to_string(peerMaximum) + ", below the minimum of "
                + std::to_string(MinimumPacket) + " every OBEX device takes; using " + std::to_string(MinimumPacket));
        peerMaximum = MinimumPacket;
    }
    m_packetSize = std::min(peerMaximum, OurMaximumPacket);

    std::vector<Header> headers;
    std::string why;
    if (!walkHeaders(response.bytes.data() + ConnectPacketSize, response.bytes.size() - ConnectPacketSize, headers, why))
        return fail(StatusProtocolError, "the phone's answer to the CONNECT holds a bad header: " + why);
    for (const Header& h : headers) {
        if (h.id == HeaderConnectionId) {
            m_hasConnectionId = true;
            m_connectionId = h.value;
        }
    }
    return {};
}

Outcome ObjectPush::put(const std::string& name, int fd, uint64_t size)
{
    if (size > 0xFFFFFFFFu)
        return fail(StatusFileError, "the file has " + std::to_string(size) + " bytes, more than OBEX can announce (4 GiB)");

    // Headers that describe the file, sent first, as many per packet as fit.
    std::vector<Bytes> pending;
    const Bytes text = nameText(name);
    if (text.size() + 3 > 0xFFFF)
        return fail(StatusBadArguments, "the file name is too long");
    pending.emplace_back();
    appendSequenceHeader(pending.back(), HeaderName, text);
    const std::string type = typeForName(name);
    if (!type.empty()) {
        pending.emplace_back();
        appendSequenceHeader(pending.back(), HeaderType, reinterpret_cast<const uint8_t*>(type.c_str()), type.size() + 1);
    }
    pending.emplace_back();
    appendFourByteHeader(pending.back(), HeaderLength, static_cast<uint32_t>(size));

    m_print("sending " + name + " (" + std::to_string(size) + " bytes)");
    size_t next = 0;
    uint64_t sent = 0;
    int tenthsShown = 0;
    // The phone has part of the file: ending early now takes an ABORT.
    bool underWay = false;
    for (;;) {
        Bytes packet = request(OpPut);
        const size_t bare = packet.size();
        while (next < pending.size() && packet.size() + pending[next].size() <= m_packetSize)
            packet.insert(packet.end(), pending[next].begin(), pending[next].end()), ++next;
        if (next < pending.size() && packet.size() == bare)
            return fail(StatusProtocolError, "the file name does not fit in the phone's packets of " + std::to_string(m_packetSize)
                                                 + " bytes; rename the file to something shorter");

        bool final = false;
        size_t chunk = 0;
        if (next == pending.size()) {
            // Room for a body header with at least one byte, or for an empty
            // End-of-Body when nothing is left.
            const size_t room = m_packetSize - packet.size();
            const uint64_t left = size - sent;
            if (room >= 3 && left <= room - 3) {
                final = true;
                chunk = static_cast<size_t>(left);
            } else if (room > 3) {
                chunk = room - 3;
            }
            if (final || chunk > 0) {
                const size_t at = packet.size();
                packet.resize(at + 3 + chunk);
                std::string why;
                if (!readFileExact(fd, packet.data() + at + 3, chunk, why)) {
                    if (!underWay)
                        return fail(StatusFileError, why);
                    abortPut(std::min(m_timeoutMs, 5000));
                    return fail(StatusFileError, why + " (" + std::to_string(sent) + " of " + std::to_string(size) +
                                                     " bytes sent; the phone was told to abort the transfer)");
                }
                packet[at] = final ? HeaderEndOfBody : HeaderBody;
                packet[at + 1] = static_cast<uint8_t>((3 + chunk) >> 8);
                packet[at + 2] = static_cast<uint8_t>((3 + chunk) & 0xFF);
            }
        }
        packet[0] = final ? OpPutFinal : OpPut;
        finishPacket(packet);

        Response response;
        const std::string what = final ? "last PUT" : "PUT";
        bool packetSent = false;
        Outcome outcome = exchange(packet, what, response, m_timeoutMs, &packetSent);
        underWay = underWay || packetSent;
        if (outcome.status == StatusStopped && underWay) {
            abortPut(StopAbortMs);
            return fail(StatusStopped, "stopped after " + std::to_string(packetSent ? sent + chunk : sent) + " of " +
                                           std::to_string(size) + " bytes; the phone was told to abort the transfer");
        }
        if (!outcome.ok())
            return outcome;
        sent += chunk;
        if (final) {
            if (response.code == ResponseSuccess) {
                if (size > 0)
                    m_print("100% (" + std::to_string(size) + " of " + std::to_string(size) + " bytes)");
                return {};
            }
            if (response.code == ResponseContinue)
                return fail(StatusProtocolError, "the phone answered the last PUT with 0x90 Continue instead of Success; "
                                                 "the file was not confirmed");
            return unexpected(what, response.code);
        }
        if (response.code == ResponseSuccess)
            return fail(StatusProtocolError, "the phone answered Success before the last packet (" + std::to_string(sent) + " of "
                                                 + std::to_string(size) + " bytes sent); the file was not confirmed");
        if (response.code != ResponseContinue)
            return unexpected(what, response.code);
        const int tenths = size == 0 ? 0 : static_cast<int>(sent * 10 / size);
        if (tenths > tenthsShown) {
            tenthsShown = tenths;
            m_print(std::to_string(sent * 100 / size) + "% (" + std::to_string(sent) + " of " + std::to_string(size) + " bytes)");
        }
    }
}

void ObjectPush::abortPut(int timeoutMs)
{
    // The orderly end: a second signal must not cut it short (the time
    // limit bounds it).
    m_link.ignoreStop();
    Bytes packet = request(OpAbort);
    finishPacket(packet);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int error = 0;
    if (m_link.sendAll(packet.data(), packet.size(), deadline, error) != Io::Ok) {
        m_print("note: the ABORT could not be sent");
        return;
    }
    // The answer to the PUT in flight, if it was still to come, arrives first.
    for (int answers = 0; answers < 2; ++answers) {
        Response response;
        const Outcome outcome = readResponse("ABORT", response, remainingMs(deadline), false);
        if (!outcome.ok()) {
            m_print("note: " + outcome.message);
            return;
        }
        if (response.code == ResponseContinue && answers == 0)
            continue;
        if (response.code != ResponseSuccess)
            m_print("note: the phone answered the ABORT with " + hexByte(response.code) + " " + responseName(response.code));
        return;
    }
}

void ObjectPush::disconnect(int timeoutMs)
{
    m_link.ignoreStop();
    Bytes packet = request(OpDisconnect);
    finishPacket(packet);
    Response response;
    const Outcome outcome =
        exchange(packet, "DISCONNECT", response, timeoutMs < 0 ? std::min(m_timeoutMs, 5000) : timeoutMs);
    if (!outcome.ok())
        m_print("note: " + outcome.message);
    else if (response.code != ResponseSuccess)
        m_print("note: the phone answered the DISCONNECT with " + hexByte(response.code) + " " + responseName(response.code));
}

} // namespace Sendel
