#include "ToolCommandLine.h"

#include "util/PathUtil.h"

std::string getCommandLine(const Brask::Config& config, const std::string& file, int line, bool isProfile)
{
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos)
        return {};
    const std::string key = isProfile ? std::string("*PROFILE") : Brask::toUpper(file.substr(dot + 1));

    const Brask::FileType* type = nullptr;
    for (const Brask::FileType& candidate : config.fileTypes) {
        if (Brask::toUpper(candidate.extension) == key) {
            type = &candidate;
            break;
        }
    }
    if (!type)
        return {};

    const std::string& pattern = type->cmdLine;
    std::string result;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '$' || c == '%') {
            const std::string name = pattern.substr(i + 1, 4);
            if (name == "file") {
                result += file;
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
