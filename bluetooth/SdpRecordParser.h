#pragma once
// Walks one service record (the attribute ID / value sequence of one service)
// as a device sent it: prints every element, collects every UUID in walk order
// and finds the record's service classes, RFCOMM channel and service name.

#include "bluetooth/discovery.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace Brask {

class SdpRecordParser {
public:
    // Levels below an attribute's top element (level 0) that are still parsed.
    static constexpr int MaxNesting = 16;

    // False when the record is malformed; a "Failure" line then says where
    // and the record is to be skipped. `record` and `comment` (the service
    // description) are filled on success.
    bool parse(const std::uint8_t* data, std::size_t size, BtServiceRecord& record, std::string& comment);

private:
    bool parseElement(const std::uint8_t* data, std::size_t available, std::size_t& consumed,
                      std::vector<BtUuid>& uuids);
    void printInteger(const struct SdpElement& element);
    // One dump line, indented two blanks per nesting level, in one diag call.
    void dump(const char* format, ...) __attribute__((format(printf, 2, 3)));

    int m_level = -1;
};

// Attribute IDs the record parser reads.
constexpr unsigned SdpServiceClassIdList = 0x0001;
constexpr unsigned SdpProtocolDescriptorList = 0x0004;
constexpr unsigned SdpLanguageBaseList = 0x0006;
constexpr unsigned SdpPrimaryLanguageBase = 0x0100;
constexpr unsigned SdpServiceNameOffset = 0x0000;
constexpr unsigned SdpServiceDescriptionOffset = 0x0001;
constexpr std::uint32_t SdpRfcommUuid = 0x0003;

} // namespace Brask
