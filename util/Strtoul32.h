#pragma once
// Decimal text to a number the way the kit has always read it: the C
// library's strtoul in base 10 on a platform whose unsigned long has 32 bits.
// Here unsigned long has 64 bits, so calling strtoul directly would read
// 4294967296 as 0 and 4294967297 as 1 instead of saturating.

#include <cstdint>
#include <string>

namespace Brask {

// Leading white space is skipped, then an optional sign and the digits up to
// the first other character. A magnitude beyond 4294967295 gives 4294967295
// (whatever the sign); otherwise a minus sign negates modulo 2^32, so "-1"
// gives 4294967295. Text without digits gives 0. When `end` is given it
// receives the position after the last digit read (`text` when none was).
std::uint32_t strtoul32(const char* text, const char** end = nullptr);

// strtoul32 taken as a signed 32-bit value: "-5" gives -5, "4294967295" and
// anything larger give -1, "abc" gives 0, "12x" gives 12.
std::int32_t toInt32(const std::string& text);

} // namespace Brask
