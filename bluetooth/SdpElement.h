#pragma once
// Decoding one SDP data element from bytes a remote device sent. Every
// length is checked against the bytes at hand; nothing is read past them.

#include <cstddef>
#include <cstdint>

namespace Brask {

// Type descriptors (the header byte's upper five bits).
enum SdpTypeCode : std::uint8_t {
    SdpNil = 0,
    SdpUnsigned = 1,
    SdpSigned = 2,
    SdpUuid = 3,
    SdpString = 4,
    SdpBoolean = 5,
    SdpSequence = 6,
    SdpAlternative = 7,
    SdpUrl = 8,
};

enum class SdpDecodeError {
    None = 0,
    Empty,            // no bytes where an element should start
    UnknownType,      // a type descriptor above 8
    BadSize,          // a size code the type does not allow
    HeaderTruncated,  // the length field does not fit in the bytes at hand
    ValueTruncated,   // the value is longer than the bytes at hand (its parent)
};

const char* sdpDecodeErrorText(SdpDecodeError error);

struct SdpElement {
    std::uint8_t type = 0;       // SdpTypeCode
    std::uint8_t sizeCode = 0;   // the header byte's lower three bits
    const std::uint8_t* value = nullptr;
    std::size_t length = 0;      // bytes of the value
    std::size_t headerSize = 0;  // header byte plus length field

    std::size_t totalSize() const { return headerSize + length; }
    bool isContainer() const { return type == SdpSequence || type == SdpAlternative; }
    // Big-endian value of an integer or UUID of at most eight bytes.
    std::uint64_t number() const;
};

// Decodes the element at `data`, which has `available` bytes (the rest of the
// parent element or of the received data).
SdpDecodeError decodeSdpElement(const std::uint8_t* data, std::size_t available, SdpElement& element);

} // namespace Brask
