#pragma once
// What a Symbian application UID's range means for the package: UIDs below
// 0x80000000 are protected and the test range is for development only. The
// build says so in the pane before the Symbian tools run; the UID itself is
// checked by SymbianPackager::isValidUid and used unchanged.

#include "kvutil/KVUtil.h"

namespace Brask {

using KVUtil::String;

enum class UidRange { Invalid, Protected, Unprotected, Test };

// The range of a UID that isValidUid accepts; Invalid for any other text.
UidRange uidRange(const String& uid);

// The pane's line for `uid` (ending with a line feed), or empty when its
// range needs no word.
String uidRangeNote(const String& uid);

} // namespace Brask
