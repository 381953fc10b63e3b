#include "util/Strtoul32.h"

namespace Brask {

namespace {

bool isSpace(char c)
{
    // The C locale's isspace.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::uint32_t strtoul32(const char* text, const char** end)
{
    const char* p = text;
    while (isSpace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const char* digits = p;
    std::uint64_t value = 0;
    bool overflow = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (!overflow) {
            value = value * 10 + static_cast<unsigned>(*p - '0');
            overflow = value > UINT32_MAX;
        }
    }
    if (end)
        *end = p == digits ? text : p;
    if (p == digits)
        return 0;
    if (overflow)
        return UINT32_MAX;
    const auto result = static_cast<std::uint32_t>(value);
    return negative ? static_cast<std::uint32_t>(0u - result) : result;
}

std::int32_t toInt32(const std::string& text)
{
    return static_cast<std::int32_t>(strtoul32(text.c_str()));
}

} // namespace Brask
