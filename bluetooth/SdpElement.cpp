#include "bluetooth/SdpElement.h"

namespace Brask {

const char* sdpDecodeErrorText(SdpDecodeError error)
{
    switch (error) {
    case SdpDecodeError::None:
        return "no error";
    case SdpDecodeError::Empty:
        return "element missing";
    case SdpDecodeError::UnknownType:
        return "unknown element type";
    case SdpDecodeError::BadSize:
        return "size code not allowed for the element type";
    case SdpDecodeError::HeaderTruncated:
        return "element header cut off";
    case SdpDecodeError::ValueTruncated:
        return "element longer than its parent";
    }
    return "unknown error";
}

std::uint64_t SdpElement::number() const
{
    std::uint64_t n = 0;
    for (std::size_t i = 0; i < length && i < 8; ++i)
        n = (n << 8) | value[i];
    return n;
}

SdpDecodeError decodeSdpElement(const std::uint8_t* data, std::size_t available, SdpElement& element)
{
    if (available == 0)
        return SdpDecodeError::Empty;
    const std::uint8_t type = data[0] >> 3;
    const std::uint8_t sizeCode = data[0] & 7;
    element = SdpElement{};
    element.type = type;
    element.sizeCode = sizeCode;

    bool fixed = false;  // size codes 0-4: the value length is implied
    switch (type) {
    case SdpNil:
        if (sizeCode != 0)
            return SdpDecodeError::BadSize;
        fixed = true;
        break;
    case SdpUnsigned:
    case SdpSigned:
        if (sizeCode > 4)
            return SdpDecodeError::BadSize;
        fixed = true;
        break;
    case SdpUuid:
        if (sizeCode != 1 && sizeCode != 2 && sizeCode != 4)
            return SdpDecodeError::BadSize;
        fixed = true;
        break;
    case SdpBoolean:
        if (sizeCode != 0)
            return SdpDecodeError::BadSize;
        fixed = true;
        break;
    case SdpString:
    case SdpSequence:
    case SdpAlternative:
    case SdpUrl:
        if (sizeCode < 5)
            return SdpDecodeError::BadSize;
        break;
    default:
        return SdpDecodeError::UnknownType;
    }

    std::size_t length;
    std::size_t header = 1;
    if (fixed) {
        length = type == SdpNil ? 0 : std::size_t(1) << sizeCode;
    } else {
        const std::size_t fieldSize = std::size_t(1) << (sizeCode - 5);  // 1, 2 or 4 bytes
        if (available - 1 < fieldSize)
            return SdpDecodeError::HeaderTruncated;
        length = 0;
        for (std::size_t i = 0; i < fieldSize; ++i)
            length = (length << 8) | data[1 + i];
        header += fieldSize;
    }
    // Compared without adding, so a 32-bit length near 2^32 cannot wrap.
    if (length > available - header)
        return SdpDecodeError::ValueTruncated;
    element.headerSize = header;
    element.length = length;
    element.value = data + header;
    return SdpDecodeError::None;
}

} // namespace Brask
