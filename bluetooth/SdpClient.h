#pragma once
// The SDP client: one ServiceSearchAttributeRequest for a service class over
// the whole attribute range, its continuations followed to the end. Every
// field of every response is checked before it is used.

#include "bluetooth/BtUuid.h"
#include "bluetooth/SdpTransport.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Brask {

constexpr std::uint8_t SdpErrorResponse = 0x01;
constexpr std::uint8_t SdpServiceSearchAttributeRequest = 0x06;
constexpr std::uint8_t SdpServiceSearchAttributeResponse = 0x07;
constexpr std::size_t SdpMaxContinuation = 16;
// Largest PDU taken from a device; the request's maximum attribute byte
// count is what fits in it.
constexpr std::size_t SdpReceiveCapacity = 4096;
constexpr std::uint16_t SdpMaxAttributeByteCount = SdpReceiveCapacity - 5 - 2 - 1 - SdpMaxContinuation;
// A device's attribute lists together never need more; beyond it the search fails.
constexpr std::size_t SdpAttributeListCeiling = 64 * 1024;

// The request PDU for `target` with transaction id `tid`, continuing after
// `continuation` (empty for the first request).
std::vector<std::uint8_t> sdpSearchAttributeRequest(std::uint16_t tid, const BtUuid& target,
                                                    const std::vector<std::uint8_t>& continuation);

// One response checked against the request it answers.
struct SdpResponsePart {
    const std::uint8_t* attributes = nullptr;  // this part of the attribute lists
    std::size_t attributeSize = 0;
    std::vector<std::uint8_t> continuation;    // empty on the last part
};
// False with `error` set when the PDU is an error response, answers another
// transaction, or any length in it disagrees with the others or the limits.
bool readSdpSearchAttributeResponse(const std::uint8_t* pdu, std::size_t size, std::uint16_t tid,
                                    SdpResponsePart& part, SdpError& error);

class SdpClient {
public:
    SdpClient(SdpTransport& transport, int receiveTimeoutMs, int totalTimeoutMs);

    // The attribute lists of every record of the class `target`, concatenated
    // as the device sent them (one sequence holding one attribute sequence per
    // record). False with `error` set on any failure.
    bool searchAttributes(const BtUuid& target, std::vector<std::uint8_t>& lists, SdpError& error);

private:
    SdpTransport& m_transport;
    int m_receiveTimeoutMs;
    int m_totalTimeoutMs;
    std::uint16_t m_nextTid = 1;
};

// The byte ranges (offset, size) of the records in the attribute lists. False
// with `error` set when the outer sequence is malformed; a record whose own
// bytes are bad is left for the record parser to reject.
bool splitSdpAttributeLists(const std::vector<std::uint8_t>& lists,
                            std::vector<std::pair<std::size_t, std::size_t>>& records, SdpError& error);

} // namespace Brask
