#pragma once
// The command line that opens a file with the tool configured for its type.

#include "core/config/Config.h"

namespace Brask {

// The first file type whose extension matches the text after the last "." of
// `file` (case-insensitively), or the "*profile" entry when `isProfile`; its
// command line with "%file"/"$file" replaced by `file` and "%line"/"$line" by
// `line` (names case-sensitive). Empty when `file` has no "." or no entry
// matches. The path always reaches the tool as one argument: a path holding a
// blank or a quote is quoted for the kit's argument splitting, or escaped when
// the command line already puts the token in quotes; other paths go in
// unchanged.
String toolCommandLine(const Config& config, const String& file, int line, bool isProfile);

} // namespace Brask
