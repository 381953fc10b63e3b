#include "platform/CommandLine.h"

namespace Platform {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// argv[0]: quotes toggle, nothing else is special.
size_t splitProgramName(const std::string& line, size_t pos, std::string& out)
{
    bool inQuotes = false;
    for (; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            inQuotes = !inQuotes;
            continue;
        }
        if (!inQuotes && isBlank(c))
            break;
        out += c;
    }
    return pos;
}

// One later argument, starting at a non-blank character. Returns the
// position after it.
size_t splitArgument(const std::string& line, size_t pos, std::string& out)
{
    bool inQuotes = false;
    while (pos < line.size()) {
        const char c = line[pos];
        if (c == '\\') {
            size_t backslashes = 0;
            while (pos < line.size() && line[pos] == '\\') {
                ++backslashes;
                ++pos;
            }
            if (pos < line.size() && line[pos] == '"') {
                out.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    out += '"';
                    ++pos;
                }
                // An even count leaves the quote for the next round, where it
                // toggles quoting.
            } else {
                out.append(backslashes, '\\');
            }
            continue;
        }
        if (c == '"') {
            if (inQuotes && pos + 1 < line.size() && line[pos + 1] == '"') {
                out += '"';
                pos += 2;
                continue;
            }
            inQuotes = !inQuotes;
            ++pos;
            continue;
        }
        if (!inQuotes && isBlank(c))
            break;
        out += c;
        ++pos;
    }
    return pos;
}

} // namespace

std::vector<std::string> splitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> words;
    size_t pos = 0;
    while (pos < commandLine.size() && isBlank(commandLine[pos]))
        ++pos;
    if (pos >= commandLine.size())
        return words;

    std::string word;
    pos = splitProgramName(commandLine, pos, word);
    words.push_back(word);

    for (;;) {
        while (pos < commandLine.size() && isBlank(commandLine[pos]))
            ++pos;
        if (pos >= commandLine.size())
            break;
        word.clear();
        pos = splitArgument(commandLine, pos, word);
        words.push_back(word);
    }
    return words;
}

} // namespace Platform
