#include "core/ToolCommandLine.h"

#include "core/ProjectManager.h"
#include "util/PathUtil.h"

namespace Brask {

namespace {

// `text` for a place inside double quotes of a command line, so the splitter
// gives it back unchanged: a quote is escaped with its backslashes doubled,
// and backslashes are doubled where the pattern's closing quote follows.
String insideQuotes(const String& text, bool quoteFollows)
{
    String out;
    size_t backslashes = 0;
    for (char c : text) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        out += c;
        backslashes = 0;
    }
    out.append(quoteFollows ? backslashes * 2 : backslashes, '\\');
    return out;
}

} // namespace

String toolCommandLine(const Config& config, const String& file, int line, bool isProfile)
{
    const size_t dot = file.rfind('.');
    if (dot == String::npos)
        return String();
    const FileType* type = config.findFileType(isProfile ? String("*profile") : file.substr(dot + 1));
    if (!type)
        return String();

    const String& pattern = type->cmdLine;
    String result;
    // Whether the pattern has opened double quotes at this point, by the
    // splitter's rules (a quote after an odd number of backslashes is text).
    bool inQuotes = false;
    size_t backslashes = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '"' && backslashes % 2 == 0)
            inQuotes = !inQuotes;
        backslashes = c == '\\' ? backslashes + 1 : 0;
        if (c == '$' || c == '%') {
            const String name = pattern.substr(i + 1, 4);
            if (name == "file") {
                // The path must reach the tool as one argument whatever it
                // holds: quoted here, or escaped inside the pattern's quotes.
                result += inQuotes ? insideQuotes(file, i + 5 < pattern.size() && pattern[i + 5] == '"')
                                   : quoteArgument(file);
                i += 4;
                continue;
            }
            if (name == "line") {
                result += std::to_string(line);
                i += 4;
                continue;
            }
        }
        result += c;
    }
    return result;
}

String ProjectManager::getCommandLine(const String& file, int line, bool isProfile) const
{
    return toolCommandLine(*m_config, file, line, isProfile);
}

} // namespace Brask
