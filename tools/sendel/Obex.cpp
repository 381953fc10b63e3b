#include "Obex.h"

#include <cctype>
#include <cstdio>

namespace Obex {

void appendSequenceHeader(Bytes& packet, uint8_t id, const uint8_t* data, size_t size)
{
    const size_t total = 3 + size;
    packet.push_back(id);
    packet.push_back(static_cast<uint8_t>(total >> 8));
    packet.push_back(static_cast<uint8_t>(total & 0xFF));
    packet.insert(packet.end(), data, data + size);
}

void appendSequenceHeader(Bytes& packet, uint8_t id, const Bytes& data)
{
    appendSequenceHeader(packet, id, data.data(), data.size());
}

void appendFourByteHeader(Bytes& packet, uint8_t id, uint32_t value)
{
    packet.push_back(id);
    for (int shift = 24; shift >= 0; shift -= 8)
        packet.push_back(static_cast<uint8_t>((value >> shift) & 0xFF));
}

Bytes startPacket(uint8_t opcode)
{
    return Bytes{opcode, 0, 0};
}

void finishPacket(Bytes& packet)
{
    packet[1] = static_cast<uint8_t>(packet.size() >> 8);
    packet[2] = static_cast<uint8_t>(packet.size() & 0xFF);
}

Bytes connectRequest(uint16_t maximumPacket)
{
    Bytes packet = startPacket(OpConnect);
    packet.push_back(Version);
    packet.push_back(0);  // flags
    packet.push_back(static_cast<uint8_t>(maximumPacket >> 8));
    packet.push_back(static_cast<uint8_t>(maximumPacket & 0xFF));
    finishPacket(packet);
    return packet;
}

namespace {

// Decodes one UTF-8 sequence at `s[i]`; returns its length, or 0 when the
// bytes there are no valid, shortest-form sequence.
size_t decodeUtf8(const std::string& s, size_t i, uint32_t& cp)
{
    const auto byte = [&s](size_t k) { return static_cast<uint8_t>(s[k]); };
    const uint8_t b0 = byte(i);
    size_t length;
    uint32_t minimum;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

void appendUnit(Bytes& out, uint32_t unit)
{
    out.push_back(static_cast<uint8_t>(unit >> 8));
    out.push_back(static_cast<uint8_t>(unit & 0xFF));
}

} // namespace

Bytes nameText(const std::string& name)
{
    Bytes out;
    for (size_t i = 0; i < name.size();) {
        uint32_t cp;
        size_t used = decodeUtf8(name, i, cp);
        if (used == 0) {
            cp = static_cast<uint8_t>(name[i]);
            used = 1;
        }
        i += used;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            appendUnit(out, 0xD800 | (cp >> 10));
            appendUnit(out, 0xDC00 | (cp & 0x3FF));
        } else {
            appendUnit(out, cp);
        }
    }
    appendUnit(out, 0);
    return out;
}

std::string typeForName(const std::string& name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return "";
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == "jar")
        return "application/java-archive";
    if (ext == "jad")
        return "text/vnd.sun.j2me.app-descriptor";
    if (ext == "sis" || ext == "sisx")
        return "application/vnd.symbian.install";
    return "";
}

bool walkHeaders(const uint8_t* data, size_t size, std::vector<Header>& out, std::string& why)
{
    size_t pos = 0;
    while (pos < size) {
        Header h;
        h.id = data[pos];
        const size_t left = size - pos;
        switch (h.id >> 6) {
        case 0:
        case 1: {
            if (left < 3) {
                why = "header " + hexByte(h.id) + " is cut off after " + std::to_string(left) + " bytes";
                return false;
            }
            const size_t length = readU16(data + pos + 1);
            if (length < 3 || length > left) {
                why = "header " + hexByte(h.id) + " declares " + std::to_string(length) + " bytes, "
                      + (length < 3 ? "less than its own 3-byte prefix" : "but only " + std::to_string(left) + " remain in the packet");
                return false;
            }
            h.data = data + pos + 3;
            h.size = length - 3;
            pos += length;
            break;
        }
        case 2:
            if (left < 2) {
                why = "one-byte header " + hexByte(h.id) + " is cut off";
                return false;
            }
            h.value = data[pos + 1];
            pos += 2;
            break;
        default:
            if (left < 5) {
                why = "four-byte header " + hexByte(h.id) + " is cut off";
                return false;
            }
            h.value = (uint32_t(data[pos + 1]) << 24) | (uint32_t(data[pos + 2]) << 16) | (uint32_t(data[pos + 3]) << 8)
                      | data[pos + 4];
            pos += 5;
            break;
        }
        out.push_back(h);
    }
    return true;
}

const char* responseName(uint8_t code)
{
    switch (code) {
    case 0x90: return "Continue";
    case 0xA0: return "Success";
    case 0xA1: return "Created";
    case 0xA2: return "Accepted";
    case 0xA3: return "Non-Authoritative Information";
    case 0xA4: return "No Content";
    case 0xA5: return "Reset Content";
    case 0xA6: return "Partial Content";
    case 0xB0: return "Multiple Choices";
    case 0xB1: return "Moved Permanently";
    case 0xB2: return "Moved Temporarily";
    case 0xB3: return "See Other";
    case 0xB4: return "Not Modified";
    case 0xB5: return "Use Proxy";
    case 0xC0: return "Bad Request";
    case 0xC1: return "Unauthorized";
    case 0xC2: return "Payment Required";
    case 0xC3: return "Forbidden";
    case 0xC4: return "Not Found";
    case 0xC5: return "Method Not Allowed";
    case 0xC6: return "Not Acceptable";
    case 0xC7: return "Proxy Authentication Required";
    case 0xC8: return "Request Time Out";
    case 0xC9: return "Conflict";
    case 0xCA: return "Gone";
    case 0xCB: return "Length Required";
    case 0xCC: return "Precondition Failed";
    case 0xCD: return "Requested Entity Too Large";
    case 0xCE: return "Request URL Too Large";
    case 0xCF: return "Unsupported Media Type";
    case 0xD0: return "Internal Server Error";
    case 0xD1: return "Not Implemented";
    case 0xD2: return "Bad Gateway";
    case 0xD3: return "Service Unavailable";
    case 0xD4: return "Gateway Timeout";
    case 0xD5: return "HTTP Version Not Supported";
    case 0xE0: return "Database Full";
    case 0xE1: return "Database Locked";
    default: return "unknown code";
    }
}

std::string hexByte(uint8_t value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

} // namespace Obex
