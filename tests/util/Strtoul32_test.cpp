#include "util/Strtoul32.h"

#include <gtest/gtest.h>

using Brask::strtoul32;
using Brask::toInt32;

TEST(Strtoul32Test, ReadsAsThe32BitStrtoulDoes)
{
    struct Case {
        const char* text;
        std::uint32_t value;
        int consumed;  // characters up to the end of the digits (0: none read)
    };
    const Case cases[] = {
        {"176", 176, 3},
        {"  \t\n42px", 42, 6},
        {"+7", 7, 2},
        {"-1", 4294967295u, 2},
        {"-5", 4294967291u, 2},
        {"007", 7, 3},
        {"4294967295", 4294967295u, 10},
        // Beyond 32 bits the value saturates instead of wrapping.
        {"4294967296", 4294967295u, 10},
        {"4294967297", 4294967295u, 10},
        {"99999999999999999999999999", 4294967295u, 26},
        {"-4294967295", 1, 11},
        {"-4294967296", 4294967295u, 11},
        {"", 0, 0},
        {"abc", 0, 0},
        {"-", 0, 0},
        {" +x", 0, 0},
        {"0x20", 0, 1},
    };
    for (const Case& c : cases) {
        const char* end = nullptr;
        EXPECT_EQ(strtoul32(c.text, &end), c.value) << c.text;
        EXPECT_EQ(end - c.text, c.consumed) << c.text;
    }
}

TEST(Strtoul32Test, SignedReadingGivesMinusOneOnOverflow)
{
    const std::pair<const char*, int> cases[] = {
        {"4294967296", -1}, {"4294967297", -1}, {"2147483648", INT32_MIN}, {"-5", -5}, {"12x", 12}, {"abc", 0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(toInt32(text), value) << text;
}
