#pragma once
// Text helpers the kit's stand-in tools share. Everything works on views:
// the tools read whole files once and cut them without copying.

#include <string>
#include <string_view>
#include <vector>

namespace ToolText {

// ASCII lower case: switches and file names compared without case.
std::string lower(std::string_view s);

// Without leading and trailing blanks, tabs and carriage returns.
std::string_view trim(std::string_view s);

// The line starting at `pos`, without its line feed (a carriage return
// before it stays), and `pos` moved past it. False at the end of `text`; a
// last line without a line feed is still a line.
bool nextLine(std::string_view text, size_t& pos, std::string_view& line);

// Every line of `text`, as nextLine cuts them.
std::vector<std::string_view> lines(std::string_view text);

// Where the quoted string opening at `open` (a '"') ends: the index just past
// its closing quote, or the end of `line` when it is not closed. A backslash
// takes the character after it into the string, so \" does not close it.
size_t stringEnd(std::string_view line, size_t open);

} // namespace ToolText
