#include "core/builder/packaging/SymbianUid.h"

#include "core/builder/packaging/SymbianPackager.h"

#include <cstdlib>

namespace Brask {

UidRange uidRange(const String& uid)
{
    if (!SymbianPackager::isValidUid(uid))
        return UidRange::Invalid;
    const unsigned long value = std::strtoul(uid.c_str() + 2, nullptr, 16);
    if (value < 0x80000000UL)
        return UidRange::Protected;
    if (value >= 0xE0000000UL && value <= 0xEFFFFFFFUL)
        return UidRange::Test;
    return UidRange::Unprotected;
}

String uidRangeNote(const String& uid)
{
    switch (uidRange(uid)) {
    case UidRange::Protected:
        return "UID " + uid + " is in the protected range (below 0x80000000): the package installs only when signed "
                              "through the platform's signing programme.\n";
    case UidRange::Test:
        return "UID " + uid + " is in the test range (0xE0000000-0xEFFFFFFF): the package is for development only.\n";
    default:
        return String();
    }
}

} // namespace Brask
