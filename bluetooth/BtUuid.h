#pragma once
// UUIDs and addresses of the Bluetooth service search.

#include <array>
#include <cstdint>
#include <string>

namespace Brask {

// A 128-bit UUID as four words, most significant first:
// 00001105-0000-1000-8000-00805F9B34FB is {0x00001105, 0x00001000, 0x80000080, 0x5F9B34FB}.
struct BtUuid {
    std::uint32_t words[4] = {0, 0, 0, 0};

    friend bool operator==(const BtUuid&, const BtUuid&) = default;
};

// The same 16 bytes in the GUID layout: one 32-bit, two 16-bit fields and
// eight bytes.
struct BtGuid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {0, 0, 0, 0, 0, 0, 0, 0};

    friend bool operator==(const BtGuid&, const BtGuid&) = default;
};
static_assert(sizeof(BtGuid) == 16);

// The base UUID's lower three words: a 16- or 32-bit UUID is word 0 with these.
constexpr std::uint32_t BtBaseUuidWord1 = 0x00001000;
constexpr std::uint32_t BtBaseUuidWord2 = 0x80000080;
constexpr std::uint32_t BtBaseUuidWord3 = 0x5F9B34FB;

constexpr BtUuid shortUuid(std::uint32_t value)
{
    return BtUuid{{value, BtBaseUuidWord1, BtBaseUuidWord2, BtBaseUuidWord3}};
}

// The OBEX Object Push service class: the target of the search.
constexpr BtUuid ObexObjectPushUuid = shortUuid(0x1105);

BtGuid toGuid(const BtUuid& uuid);
BtUuid fromGuid(const BtGuid& guid);

// A device address, most significant byte first.
using BtAddress = std::array<std::uint8_t, 6>;

// 12 lower-case hexadecimal digits, most significant byte first.
std::string addressText(const BtAddress& address);

// Reads "AA:BB:CC:DD:EE:FF" (or with '-') or 12 hexadecimal digits, either
// case. False on anything else.
bool parseAddress(const std::string& text, BtAddress& address);

} // namespace Brask
