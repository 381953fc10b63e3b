// Fuzz target: the data-element parser on one record's bytes, and the split
// of attribute lists into records.

#include "FuzzSupport.h"
#include "bluetooth/SdpClient.h"
#include "bluetooth/SdpRecordParser.h"
#include "util/Diagnostics.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Brask::setDiagnosticStream(nullptr);
    Brask::SdpRecordParser parser;
    Brask::BtServiceRecord record;
    std::string comment;
    parser.parse(data, size, record, comment);
    Fuzz::reachedChecks();

    const std::vector<std::uint8_t> lists(data, data + size);
    std::vector<std::pair<std::size_t, std::size_t>> records;
    Brask::SdpError error;
    if (Brask::splitSdpAttributeLists(lists, records, error)) {
        for (const auto& [offset, length] : records)
            parser.parse(lists.data() + offset, length, record, comment);
    }
    return 0;
}
