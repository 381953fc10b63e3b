// Fuzz target: the SDP client reading a device's responses. The input is a
// script of PDUs, each a 16-bit big-endian length and its bytes; the first
// byte's low bit makes every PDU answer the transaction it follows (so the
// fuzzer reaches past the transaction check). The records found are walked.

#include "FuzzSupport.h"
#include "bluetooth/SdpClient.h"
#include "bluetooth/SdpRecordParser.h"
#include "util/Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class ScriptTransport : public Brask::SdpTransport {
public:
    ScriptTransport(const std::uint8_t* data, std::size_t size, bool matchTid)
        : m_data(data)
        , m_size(size)
        , m_matchTid(matchTid)
    {
    }

    bool send(const std::uint8_t* data, std::size_t size, Brask::SdpError&) override
    {
        if (size >= 3)
            std::memcpy(m_tid, data + 1, 2);
        return true;
    }

    Brask::SdpReceive receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& size, int,
                              Brask::SdpError& error) override
    {
        if (m_size - m_offset < 2) {
            error = Brask::SdpError{ETIMEDOUT, "silence"};
            return Brask::SdpReceive::Timeout;
        }
        std::size_t length = (std::size_t(m_data[m_offset]) << 8) | m_data[m_offset + 1];
        m_offset += 2;
        length = std::min(length, m_size - m_offset);
        if (length > capacity) {
            m_offset += length;
            error = Brask::SdpError{EMSGSIZE, "too long"};
            return Brask::SdpReceive::TooLong;
        }
        std::memcpy(buffer, m_data + m_offset, length);
        m_offset += length;
        if (m_matchTid && length >= 3)
            std::memcpy(buffer + 1, m_tid, 2);
        size = length;
        return Brask::SdpReceive::Ok;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
    bool m_matchTid;
    std::uint8_t m_tid[2] = {0, 0};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Brask::setDiagnosticStream(nullptr);
    if (size < 1)
        return 0;
    ScriptTransport transport(data + 1, size - 1, data[0] & 1);
    Brask::SdpClient client(transport, 1000, 1000);
    std::vector<std::uint8_t> lists;
    Brask::SdpError error;
    const bool found = client.searchAttributes(Brask::ObexObjectPushUuid, lists, error);
    Fuzz::reachedChecks();
    if (!found)
        return 0;
    std::vector<std::pair<std::size_t, std::size_t>> records;
    if (!Brask::splitSdpAttributeLists(lists, records, error))
        return 0;
    Brask::SdpRecordParser parser;
    for (const auto& [offset, length] : records) {
        Brask::BtServiceRecord record;
        std::string comment;
        parser.parse(lists.data() + offset, length, record, comment);
    }
    return 0;
}
