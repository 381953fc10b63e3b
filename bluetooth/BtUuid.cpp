#include "bluetooth/BtUuid.h"

#include <cstdio>

namespace Brask {

BtGuid toGuid(const BtUuid& uuid)
{
    BtGuid guid;
    guid.data1 = uuid.words[0];
    guid.data2 = static_cast<std::uint16_t>(uuid.words[1] >> 16);
    guid.data3 = static_cast<std::uint16_t>(uuid.words[1] & 0xFFFF);
    for (int i = 0; i < 4; ++i) {
        guid.data4[i] = static_cast<std::uint8_t>(uuid.words[2] >> (24 - 8 * i));
        guid.data4[4 + i] = static_cast<std::uint8_t>(uuid.words[3] >> (24 - 8 * i));
    }
    return guid;
}

BtUuid fromGuid(const BtGuid& guid)
{
    BtUuid uuid;
    uuid.words[0] = guid.data1;
    uuid.words[1] = (std::uint32_t(guid.data2) << 16) | guid.data3;
    for (int i = 0; i < 4; ++i) {
        uuid.words[2] = (uuid.words[2] << 8) | guid.data4[i];
        uuid.words[3] = (uuid.words[3] << 8) | guid.data4[4 + i];
    }
    return uuid;
}

std::string addressText(const BtAddress& a)
{
    char text[13];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x%02x%02x", a[0], a[1], a[2], a[3], a[4], a[5]);
    return text;
}

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

bool parseAddress(const std::string& text, BtAddress& address)
{
    std::string digits;
    if (text.size() == 17) {
        for (size_t i = 0; i < text.size(); ++i) {
            if (i % 3 == 2) {
                if (text[i] != ':' && text[i] != '-')
                    return false;
            } else {
                digits += text[i];
            }
        }
    } else if (text.size() == 12) {
        digits = text;
    } else {
        return false;
    }
    BtAddress parsed;
    for (size_t i = 0; i < 6; ++i) {
        const int high = hexValue(digits[2 * i]);
        const int low = hexValue(digits[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        parsed[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    address = parsed;
    return true;
}

} // namespace Brask
