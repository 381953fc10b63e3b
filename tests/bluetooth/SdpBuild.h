#pragma once
// Builds SDP data elements and PDUs for the tests, byte for byte as a device
// would send them.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace SdpBuild {

using Bytes = std::vector<std::uint8_t>;

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

inline Bytes bigEndian(std::uint64_t value, int bytes)
{
    Bytes out;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(i >= 8 ? 0 : static_cast<std::uint8_t>(value >> (8 * i)));
    return out;
}

inline std::uint8_t header(int type, int sizeCode)
{
    return static_cast<std::uint8_t>((type << 3) | sizeCode);
}

inline int fixedSizeCode(int bytes)
{
    return bytes == 1 ? 0 : bytes == 2 ? 1 : bytes == 4 ? 2 : bytes == 8 ? 3 : 4;
}

inline Bytes uintN(int bytes, std::uint64_t value)
{
    return cat({{header(1, fixedSizeCode(bytes))}, bigEndian(value, bytes)});
}
inline Bytes intN(int bytes, std::int64_t value)
{
    return cat({{header(2, fixedSizeCode(bytes))}, bigEndian(static_cast<std::uint64_t>(value), bytes)});
}
inline Bytes u8(std::uint64_t v) { return uintN(1, v); }
inline Bytes u16(std::uint64_t v) { return uintN(2, v); }
inline Bytes u32(std::uint64_t v) { return uintN(4, v); }
inline Bytes uuid16(std::uint32_t v) { return cat({{header(3, 1)}, bigEndian(v, 2)}); }
inline Bytes uuid32(std::uint32_t v) { return cat({{header(3, 2)}, bigEndian(v, 4)}); }
inline Bytes uuid128(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return cat({{header(3, 4)}, bigEndian(a, 4), bigEndian(b, 4), bigEndian(c, 4), bigEndian(d, 4)});
}
inline Bytes nil() { return {header(0, 0)}; }
inline Bytes boolean(bool v) { return {header(5, 0), static_cast<std::uint8_t>(v ? 1 : 0)}; }

// A variable-length element with a length field of `width` bytes (1, 2 or 4).
inline Bytes var(int type, const Bytes& body, int width = 1)
{
    const int sizeCode = width == 1 ? 5 : width == 2 ? 6 : 7;
    return cat({{header(type, sizeCode)}, bigEndian(body.size(), width), body});
}
inline Bytes text(const std::string& s, int width = 1) { return var(4, Bytes(s.begin(), s.end()), width); }
inline Bytes url(const std::string& s) { return var(8, Bytes(s.begin(), s.end())); }
inline Bytes seq(std::initializer_list<Bytes> items, int width = 1) { return var(6, cat(items), width); }
inline Bytes alt(std::initializer_list<Bytes> items) { return var(7, cat(items)); }
inline Bytes attr(std::uint16_t id, const Bytes& value) { return cat({u16(id), value}); }

// An OBEX Object Push record offering `channel`, named `name`.
inline Bytes oppRecord(int channel, const std::string& name)
{
    return seq({
        attr(0x0000, u32(0x00010005)),
        attr(0x0001, seq({uuid16(0x1105)})),
        attr(0x0004, seq({seq({uuid16(0x0100)}), seq({uuid16(0x0003), u8(channel)}), seq({uuid16(0x0008)})})),
        attr(0x0006, seq({u16(0x656E), u16(0x006A), u16(0x0100)})),
        attr(0x0100, text(name)),
    });
}

// A record of the class `serviceClass` whose RFCOMM channel parameter is the
// element `channel`; without one the record has no protocol descriptor list.
inline Bytes classRecord(std::uint32_t serviceClass, const Bytes& channel)
{
    if (channel.empty())
        return seq({attr(0x0000, u32(0x00010009)), attr(0x0001, seq({uuid16(serviceClass)}))});
    return seq({attr(0x0000, u32(0x00010009)), attr(0x0001, seq({uuid16(serviceClass)})),
                attr(0x0004, seq({seq({uuid16(0x0100)}), seq({uuid16(0x0003), channel})}))});
}

// The attribute lists of a response: one sequence around the records.
inline Bytes lists(std::initializer_list<Bytes> records)
{
    const Bytes body = cat(records);
    return var(6, body, body.size() > 255 ? 2 : 1);
}

// A ServiceSearchAttributeResponse PDU.
inline Bytes response(std::uint16_t tid, const Bytes& attributes, const Bytes& continuation = {})
{
    const Bytes params =
        cat({bigEndian(attributes.size(), 2), attributes, {static_cast<std::uint8_t>(continuation.size())}, continuation});
    return cat({{0x07}, bigEndian(tid, 2), bigEndian(params.size(), 2), params});
}

inline Bytes errorResponse(std::uint16_t tid, std::uint16_t code)
{
    return cat({{0x01}, bigEndian(tid, 2), bigEndian(2, 2), bigEndian(code, 2)});
}

inline std::uint16_t tidOf(const Bytes& pdu)
{
    return pdu.size() >= 3 ? static_cast<std::uint16_t>((pdu[1] << 8) | pdu[2]) : 0;
}

} // namespace SdpBuild
