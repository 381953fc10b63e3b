#include "bluetooth/SdpClient.h"

#include "bluetooth/SdpElement.h"

#include <cerrno>
#include <chrono>

namespace Brask {

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    put16(out, value >> 16);
    put16(out, value & 0xFFFF);
}

unsigned get16(const std::uint8_t* p)
{
    return (unsigned(p[0]) << 8) | p[1];
}

SdpError protocolError(const std::string& text)
{
    return SdpError{EPROTO, text};
}

} // namespace

std::vector<std::uint8_t> sdpSearchAttributeRequest(std::uint16_t tid, const BtUuid& target,
                                                    const std::vector<std::uint8_t>& continuation)
{
    std::vector<std::uint8_t> pattern;
    const bool shortForm = target.words[1] == BtBaseUuidWord1 && target.words[2] == BtBaseUuidWord2 &&
                           target.words[3] == BtBaseUuidWord3 && target.words[0] <= 0xFFFF;
    if (shortForm) {
        pattern = {0x35, 0x03, 0x19};
        put16(pattern, target.words[0]);
    } else {
        pattern = {0x35, 0x11, 0x1C};
        for (std::uint32_t word : target.words)
            put32(pattern, word);
    }

    std::vector<std::uint8_t> params = pattern;
    put16(params, SdpMaxAttributeByteCount);
    // Attribute ID list: one 32-bit range 0x0000-0xFFFF.
    params.insert(params.end(), {0x35, 0x05, 0x0A, 0x00, 0x00, 0xFF, 0xFF});
    params.push_back(static_cast<std::uint8_t>(continuation.size()));
    params.insert(params.end(), continuation.begin(), continuation.end());

    std::vector<std::uint8_t> pdu = {SdpServiceSearchAttributeRequest};
    put16(pdu, tid);
    put16(pdu, static_cast<std::uint32_t>(params.size()));
    pdu.insert(pdu.end(), params.begin(), params.end());
    return pdu;
}

bool readSdpSearchAttributeResponse(const std::uint8_t* pdu, std::size_t size, std::uint16_t tid,
                                    SdpResponsePart& part, SdpError& error)
{
    part = SdpResponsePart{};
    if (size < 5) {
        error = protocolError("an answer of " + std::to_string(size) + " bytes, shorter than a PDU header");
        return false;
    }
    const unsigned id = pdu[0];
    const unsigned answerTid = get16(pdu + 1);
    const std::size_t paramLength = get16(pdu + 3);
    if (answerTid != tid) {
        error = protocolError("an answer to transaction " + std::to_string(answerTid) + " instead of " +
                              std::to_string(tid));
        return false;
    }
    if (paramLength != size - 5) {
        error = protocolError("a parameter length of " + std::to_string(paramLength) + " in a PDU carrying " +
                              std::to_string(size - 5) + " bytes");
        return false;
    }
    const std::uint8_t* params = pdu + 5;
    if (id == SdpErrorResponse) {
        if (paramLength < 2) {
            error = protocolError("an error response without an error code");
            return false;
        }
        const unsigned code = get16(params);
        error = SdpError{EPROTO, "the device answered with error " + std::to_string(code)};
        return false;
    }
    if (id != SdpServiceSearchAttributeResponse) {
        error = protocolError("an answer of PDU type " + std::to_string(id));
        return false;
    }
    if (paramLength < 3) {
        error = protocolError("a response too short for its fields");
        return false;
    }
    const std::size_t byteCount = get16(params);
    if (byteCount > SdpMaxAttributeByteCount) {
        error = protocolError("a response of " + std::to_string(byteCount) + " attribute bytes, more than the " +
                              std::to_string(SdpMaxAttributeByteCount) + " asked for");
        return false;
    }
    if (byteCount > paramLength - 3) {
        error = protocolError("attribute bytes past the end of the response");
        return false;
    }
    const std::size_t continuationLength = params[2 + byteCount];
    if (continuationLength > SdpMaxContinuation) {
        error = protocolError("a continuation state of " + std::to_string(continuationLength) + " bytes");
        return false;
    }
    if (2 + byteCount + 1 + continuationLength != paramLength) {
        error = protocolError("a continuation state that does not end the response");
        return false;
    }
    part.attributes = params + 2;
    part.attributeSize = byteCount;
    part.continuation.assign(params + 3 + byteCount, params + 3 + byteCount + continuationLength);
    return true;
}

SdpClient::SdpClient(SdpTransport& transport, int receiveTimeoutMs, int totalTimeoutMs)
    : m_transport(transport)
    , m_receiveTimeoutMs(receiveTimeoutMs)
    , m_totalTimeoutMs(totalTimeoutMs)
{
}

bool SdpClient::searchAttributes(const BtUuid& target, std::vector<std::uint8_t>& lists, SdpError& error)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_totalTimeoutMs);
    lists.clear();
    std::vector<std::uint8_t> continuation;
    std::vector<std::uint8_t> buffer(SdpReceiveCapacity);
    // Each round must bring at least one byte, so the ceiling bounds the rounds too.
    for (;;) {
        const std::uint16_t tid = m_nextTid++;
        const std::vector<std::uint8_t> request = sdpSearchAttributeRequest(tid, target, continuation);
        if (!m_transport.send(request.data(), request.size(), error))
            return false;

        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            error = SdpError{ETIMEDOUT, "the search took longer than " + std::to_string(m_totalTimeoutMs) + " ms"};
            return false;
        }
        const int wait = static_cast<int>(std::min<long long>(left, m_receiveTimeoutMs));
        std::size_t size = 0;
        if (m_transport.receive(buffer.data(), buffer.size(), size, wait, error) != SdpReceive::Ok)
            return false;

        SdpResponsePart part;
        if (!readSdpSearchAttributeResponse(buffer.data(), size, tid, part, error))
            return false;
        if (lists.size() + part.attributeSize > SdpAttributeListCeiling) {
            error = protocolError("attribute lists longer than " + std::to_string(SdpAttributeListCeiling) +
                                  " bytes");
            return false;
        }
        if (!part.continuation.empty() && part.attributeSize == 0) {
            error = protocolError("a continuation without attribute bytes");
            return false;
        }
        lists.insert(lists.end(), part.attributes, part.attributes + part.attributeSize);
        if (part.continuation.empty())
            return true;
        continuation = std::move(part.continuation);
    }
}

bool splitSdpAttributeLists(const std::vector<std::uint8_t>& lists,
                            std::vector<std::pair<std::size_t, std::size_t>>& records, SdpError& error)
{
    records.clear();
    if (lists.empty())
        return true;  // some servers answer "nothing found" with no list at all
    SdpElement outer;
    const SdpDecodeError result = decodeSdpElement(lists.data(), lists.size(), outer);
    if (result != SdpDecodeError::None) {
        error = protocolError(std::string("attribute lists: ") + sdpDecodeErrorText(result));
        return false;
    }
    if (outer.type != SdpSequence) {
        error = protocolError("attribute lists that are not a sequence");
        return false;
    }
    if (outer.totalSize() != lists.size()) {
        error = protocolError("bytes after the attribute lists");
        return false;
    }
    std::size_t offset = outer.headerSize;
    const std::size_t end = outer.totalSize();
    while (offset < end) {
        SdpElement record;
        const SdpDecodeError recordResult = decodeSdpElement(lists.data() + offset, end - offset, record);
        if (recordResult != SdpDecodeError::None) {
            // Without a valid length the following records cannot be found either.
            error = protocolError(std::string("record ") + std::to_string(records.size()) + ": " +
                                  sdpDecodeErrorText(recordResult));
            return false;
        }
        records.emplace_back(offset, record.totalSize());
        offset += record.totalSize();
    }
    return true;
}

} // namespace Brask
