#pragma once
// OBEX packets as the Object Push client writes and reads them: the request
// builders, the header walk over a received packet and the names of the
// response codes. Everything read from a packet is bounds-checked, because the
// bytes come from the phone.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Obex {

using Bytes = std::vector<uint8_t>;

// Request opcodes; the high bit is the final bit.
constexpr uint8_t OpConnect = 0x80;
constexpr uint8_t OpDisconnect = 0x81;
constexpr uint8_t OpPut = 0x02;
constexpr uint8_t OpPutFinal = 0x82;
constexpr uint8_t OpAbort = 0xFF;

// Header identifiers. The top two bits give the encoding: 00 NUL-terminated
// UTF-16BE text and 01 bytes (both with a 2-byte length), 10 one byte,
// 11 four bytes.
constexpr uint8_t HeaderName = 0x01;
constexpr uint8_t HeaderType = 0x42;
constexpr uint8_t HeaderLength = 0xC3;
constexpr uint8_t HeaderBody = 0x48;
constexpr uint8_t HeaderEndOfBody = 0x49;
constexpr uint8_t HeaderConnectionId = 0xCB;

constexpr uint8_t ResponseContinue = 0x90;
constexpr uint8_t ResponseSuccess = 0xA0;

constexpr uint8_t Version = 0x10;  // 1.0
// Every OBEX device must take packets of this size.
constexpr size_t MinimumPacket = 255;
// What we announce: the largest answer we accept and the largest request we
// send. RFCOMM frames are far smaller anyway, so bigger packets would only
// save a few round trips.
constexpr size_t OurMaximumPacket = 32767;
// Opcode or response code, then the 16-bit packet length.
constexpr size_t PacketHeaderSize = 3;
// A CONNECT packet adds version, flags and the 16-bit maximum packet length.
constexpr size_t ConnectPacketSize = 7;

// Appends a header of the byte-sequence or text encoding (`data` is stored as
// given; text must already be UTF-16BE with its terminating NUL).
void appendSequenceHeader(Bytes& packet, uint8_t id, const Bytes& data);
void appendSequenceHeader(Bytes& packet, uint8_t id, const uint8_t* data, size_t size);
void appendFourByteHeader(Bytes& packet, uint8_t id, uint32_t value);

// Starts a request: the opcode and a length to be filled in by finish().
Bytes startPacket(uint8_t opcode);
// Writes the packet's length into bytes 1 and 2.
void finishPacket(Bytes& packet);

Bytes connectRequest(uint16_t maximumPacket);

// The Name header's content: `name` read as UTF-8 (a byte that is not part of
// valid UTF-8 stands for the Latin-1 character of that value), in UTF-16BE
// with a terminating NUL.
Bytes nameText(const std::string& name);

// The MIME type for a file name by its extension ("" when none is known).
std::string typeForName(const std::string& name);

// 16-bit big-endian value at `p`.
inline uint16_t readU16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

struct Header {
    uint8_t id = 0;
    const uint8_t* data = nullptr;  // content of sequence and text headers
    size_t size = 0;
    uint32_t value = 0;  // one- and four-byte headers
};

// Splits `size` bytes of headers into `out`. False with `why` when a header
// runs past the end or declares a length shorter than its own prefix.
bool walkHeaders(const uint8_t* data, size_t size, std::vector<Header>& out, std::string& why);

// "Forbidden" for 0xC3 and so on; "unknown code" for values without a name.
const char* responseName(uint8_t code);

// "0xC3"
std::string hexByte(uint8_t value);

} // namespace Obex
