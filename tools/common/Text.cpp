#include "Text.h"

namespace ToolText {

std::string lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view trim(std::string_view s)
{
    // By hand: find_first_not_of searches the set once per character.
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    size_t b = 0;
    size_t e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool nextLine(std::string_view text, size_t& pos, std::string_view& line)
{
    if (pos >= text.size())
        return false;
    size_t nl = text.find('\n', pos);
    if (nl == std::string_view::npos)
        nl = text.size();
    line = text.substr(pos, nl - pos);
    pos = nl + 1;
    return true;
}

std::vector<std::string_view> lines(std::string_view text)
{
    std::vector<std::string_view> out;
    std::string_view line;
    for (size_t pos = 0; nextLine(text, pos, line);)
        out.push_back(line);
    return out;
}

size_t stringEnd(std::string_view line, size_t open)
{
    for (size_t i = open + 1; i < line.size(); ++i) {
        if (line[i] == '\\')
            ++i;
        else if (line[i] == '"')
            return i + 1;
    }
    return line.size();
}

} // namespace ToolText
