#include "bluetooth/SdpRecordParser.h"

#include "bluetooth/BtReport.h"
#include "bluetooth/SdpElement.h"
#include "util/Diagnostics.h"

#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace Brask {

namespace {

struct Attribute {
    unsigned id;
    SdpElement value;
};

// A UUID element as a BtUuid: 16- and 32-bit values with the base UUID,
// 128-bit values (big-endian on the wire) through the GUID layout.
BtUuid uuidOf(const SdpElement& element)
{
    if (element.length == 16) {
        const std::uint8_t* v = element.value;
        BtGuid guid;
        guid.data1 = (std::uint32_t(v[0]) << 24) | (std::uint32_t(v[1]) << 16) | (std::uint32_t(v[2]) << 8) | v[3];
        guid.data2 = static_cast<std::uint16_t>((v[4] << 8) | v[5]);
        guid.data3 = static_cast<std::uint16_t>((v[6] << 8) | v[7]);
        std::memcpy(guid.data4, v + 8, 8);
        return fromGuid(guid);
    }
    return shortUuid(static_cast<std::uint32_t>(element.number()));
}

// The children of a sequence or alternative; false when one does not decode.
bool children(const SdpElement& parent, std::vector<SdpElement>& out)
{
    out.clear();
    std::size_t offset = 0;
    while (offset < parent.length) {
        SdpElement child;
        if (decodeSdpElement(parent.value + offset, parent.length - offset, child) != SdpDecodeError::None)
            return false;
        out.push_back(child);
        offset += child.totalSize();
    }
    return true;
}

// The RFCOMM channel of a protocol descriptor list: the parameter after the
// RFCOMM protocol UUID. An alternative of lists offers several stacks; the
// first holding RFCOMM is taken.
int rfcommChannel(const SdpElement& list, int depth = 0)
{
    std::vector<SdpElement> descriptors;
    if (!list.isContainer() || !children(list, descriptors))
        return 0;
    for (const SdpElement& descriptor : descriptors) {
        if (list.type == SdpAlternative && depth == 0) {
            if (const int channel = rfcommChannel(descriptor, 1))
                return channel;
            continue;
        }
        std::vector<SdpElement> fields;
        if (descriptor.type != SdpSequence || !children(descriptor, fields) || fields.size() < 2)
            continue;
        if (fields[0].type != SdpUuid || !(uuidOf(fields[0]) == shortUuid(SdpRfcommUuid)))
            continue;
        if (fields[1].type != SdpUnsigned || fields[1].length > 4)
            continue;
        // Only 1-30 name an RFCOMM server channel; anything else would be
        // stored and then refused when the package is sent.
        const std::uint64_t channel = fields[1].number();
        if (channel >= BtRfcommFirstChannel && channel <= BtRfcommLastChannel)
            return static_cast<int>(channel);
        diag("RFCOMM channel %llu is not a channel from %i to %i\n", static_cast<unsigned long long>(channel),
             BtRfcommFirstChannel, BtRfcommLastChannel);
    }
    return 0;
}

// The UUIDs of a ServiceClassIDList, in order; non-UUID entries are ignored.
std::vector<BtUuid> serviceClasses(const SdpElement& list)
{
    std::vector<BtUuid> classes;
    std::vector<SdpElement> entries;
    if (list.type != SdpSequence || !children(list, entries))
        return classes;
    for (const SdpElement& entry : entries) {
        if (entry.type == SdpUuid)
            classes.push_back(uuidOf(entry));
    }
    return classes;
}

std::string stringValue(const SdpElement& element)
{
    if (element.type != SdpString)
        return {};
    std::string text(reinterpret_cast<const char*>(element.value), element.length);
    // Devices often count a terminating zero into the string.
    const size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    return text;
}

class LevelGuard {
public:
    explicit LevelGuard(int& level)
        : m_level(level)
    {
        ++m_level;
    }
    ~LevelGuard() { --m_level; }
    LevelGuard(const LevelGuard&) = delete;
    LevelGuard& operator=(const LevelGuard&) = delete;

private:
    int& m_level;
};

} // namespace

bool SdpRecordParser::parse(const std::uint8_t* data, std::size_t size, BtServiceRecord& record, std::string& comment)
{
    record = BtServiceRecord{};
    comment.clear();
    m_level = -1;

    SdpElement top;
    const SdpDecodeError topResult = decodeSdpElement(data, size, top);
    if (topResult != SdpDecodeError::None) {
        diag("Record: %s\n", sdpDecodeErrorText(topResult));
        BT_RESULT_FAILURE(static_cast<int>(topResult));
        return false;
    }
    if (top.type != SdpSequence) {
        diag("Record is not a sequence\n");
        BT_FAILURE();
        return false;
    }

    std::vector<Attribute> attributes;
    std::size_t offset = 0;
    while (offset < top.length) {
        const std::uint8_t* at = top.value + offset;
        const std::size_t left = top.length - offset;
        SdpElement id;
        const SdpDecodeError idResult = decodeSdpElement(at, left, id);
        if (idResult != SdpDecodeError::None || id.type != SdpUnsigned || id.length != 2) {
            diag("Record: attribute ID expected at byte %zu\n", offset);
            BT_FAILURE();
            return false;
        }
        const unsigned attributeId = static_cast<unsigned>(id.number());
        const std::uint8_t* valueAt = at + id.totalSize();
        const std::size_t valueLeft = left - id.totalSize();

        std::lock_guard<std::recursive_mutex> lock(discoveryLock());
        SdpElement value;
        const SdpDecodeError valueResult = decodeSdpElement(valueAt, valueLeft, value);
        diag("Attribute ID %i, streamSize: %i bytes\n", static_cast<int>(attributeId),
             static_cast<int>(valueResult == SdpDecodeError::None ? value.totalSize() : valueLeft));
        if (valueResult != SdpDecodeError::None) {
            diag("%s\n", sdpDecodeErrorText(valueResult));
            BT_RESULT_FAILURE(static_cast<int>(valueResult));
            return false;
        }
        std::size_t consumed = 0;
        m_level = -1;
        if (!parseElement(valueAt, value.totalSize(), consumed, record.uuids)) {
            BT_FAILURE();
            return false;
        }
        attributes.push_back({attributeId, value});
        offset += id.totalSize() + value.totalSize();
    }

    unsigned languageBase = SdpPrimaryLanguageBase;
    for (const Attribute& attribute : attributes) {
        std::vector<SdpElement> triplet;
        if (attribute.id == SdpLanguageBaseList && attribute.value.type == SdpSequence &&
            children(attribute.value, triplet) && triplet.size() >= 3 && triplet[2].type == SdpUnsigned &&
            triplet[2].length == 2)
            languageBase = static_cast<unsigned>(triplet[2].number());
    }
    for (const Attribute& attribute : attributes) {
        if (attribute.id == SdpServiceClassIdList)
            record.classes = serviceClasses(attribute.value);
        else if (attribute.id == SdpProtocolDescriptorList)
            record.port = rfcommChannel(attribute.value);
        else if (attribute.id == languageBase + SdpServiceNameOffset)
            record.name = stringValue(attribute.value);
        else if (attribute.id == languageBase + SdpServiceDescriptionOffset)
            comment = stringValue(attribute.value);
    }
    return true;
}

bool SdpRecordParser::parseElement(const std::uint8_t* data, std::size_t available, std::size_t& consumed,
                                   std::vector<BtUuid>& uuids)
{
    LevelGuard guard(m_level);
    if (m_level > MaxNesting) {
        diag("Elements nested deeper than %i levels\n", MaxNesting);
        return false;
    }
    SdpElement element;
    const SdpDecodeError result = decodeSdpElement(data, available, element);
    if (result != SdpDecodeError::None) {
        diag("%s\n", sdpDecodeErrorText(result));
        BT_RESULT_FAILURE(static_cast<int>(result));
        return false;
    }
    consumed = element.totalSize();

    switch (element.type) {
    case SdpNil:
        dump("NIL\n");
        return true;
    case SdpUnsigned:
    case SdpSigned:
        printInteger(element);
        return true;
    case SdpUuid: {
        const BtUuid uuid = uuidOf(element);
        uuids.push_back(uuid);
        if (element.length == 2)
            dump("UUID %04X\n", static_cast<unsigned>(uuid.words[0]));
        else if (element.length == 4)
            dump("UUID %08X\n", static_cast<unsigned>(uuid.words[0]));
        else
            dump("UUID %08X-%08X-%08X-%08X\n", static_cast<unsigned>(uuid.words[0]),
                 static_cast<unsigned>(uuid.words[1]), static_cast<unsigned>(uuid.words[2]),
                 static_cast<unsigned>(uuid.words[3]));
        return true;
    }
    case SdpString:
        dump("String: \"%s\"\n",
             printableBytes(reinterpret_cast<const char*>(element.value), element.length).c_str());
        return true;
    case SdpBoolean:
        dump("%s\n", element.value[0] ? "true" : "false");
        return true;
    case SdpUrl:
        dump("URL: %s\n", printableBytes(reinterpret_cast<const char*>(element.value), element.length).c_str());
        return true;
    case SdpSequence:
    case SdpAlternative: {
        dump("%s, %i bytes.\n", element.type == SdpSequence ? "Sequence" : "Alternative",
             static_cast<int>(element.length));
        std::size_t offset = 0;
        while (offset < element.length) {
            std::size_t childSize = 0;
            if (!parseElement(element.value + offset, element.length - offset, childSize, uuids))
                return false;
            offset += childSize;
        }
        return true;
    }
    default:
        // decodeSdpElement admits no other type.
        BT_FAILURE();
        return false;
    }
}

void SdpRecordParser::printInteger(const SdpElement& element)
{
    const bool isSigned = element.type == SdpSigned;
    const int bits = static_cast<int>(element.length * 8);
    const char* sign = isSigned ? "" : "u";
    const std::uint64_t raw = element.number();
    if (bits <= 32) {
        // Hexadecimal with two digits per byte, also for negative values.
        const int digits = static_cast<int>(element.length * 2);
        const unsigned hex = static_cast<unsigned>(raw);
        if (isSigned) {
            const int shift = 64 - bits;
            const auto value = static_cast<std::int64_t>(raw << shift) >> shift;
            dump("%sint%i: %i (0x%0*X)\n", sign, bits, static_cast<int>(value), digits, hex);
        } else {
            dump("%sint%i: %u (0x%0*X)\n", sign, bits, static_cast<unsigned>(raw), digits, hex);
        }
    } else if (bits == 64) {
        if (isSigned)
            dump("%sint%i: %" PRIi64 " (0x%016" PRIX64 ")\n", sign, bits, static_cast<std::int64_t>(raw), raw);
        else
            dump("%sint%i: %" PRIu64 " (0x%016" PRIX64 ")\n", sign, bits, raw, raw);
    } else {
        std::uint64_t low = 0;
        for (std::size_t i = 8; i < 16; ++i)
            low = (low << 8) | element.value[i];
        dump("%sint%i: %016" PRIX64 "%016" PRIX64 "\n", sign, bits, raw, low);
    }
}

void SdpRecordParser::dump(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = formatText(format, args);
    va_end(args);
    diag("%*s%s", 2 * m_level, "", text.c_str());
}

} // namespace Brask
