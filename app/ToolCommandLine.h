#pragma once
// The command line that opens a file with the tool configured for its type.

#include "core/Config.h"

#include <string>

// The first file type whose extension matches the text after the last "." of
// `file` (case-insensitively), or the "*profile" entry when `isProfile`; its
// command line with "%file"/"$file" replaced by `file` and "%line"/"$line" by
// `line`. Empty when `file` has no "." or no entry matches. The path is not
// quoted: command lines are written for the kit's own argument splitting.
std::string getCommandLine(const Brask::Config& config, const std::string& file, int line, bool isProfile);
