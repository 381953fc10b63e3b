#include "core/ToolCommandLine.h"

#include "core/ProjectManager.h"
#include "util/PathUtil.h"

namespace Brask {

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
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '$' || c == '%') {
            const String name = pattern.substr(i + 1, 4);
            if (name == "file") {
                // Without quotes a blank would split the path into two arguments.
                const bool quotedByPattern = i > 0 && pattern[i - 1] == '"';
                result += quotedByPattern ? file : quoteArgument(file);
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
