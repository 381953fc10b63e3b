#include "core/builder/ErrorLineParser.h"

#include "util/Diagnostics.h"
#include "util/PathUtil.h"

std::optional<ErrorLocation> parseErrorLine(const std::string& text)
{
    ErrorLocation result;
    size_t i = 0;
    for (;; ++i) {
        if (i >= text.size())
            return std::nullopt;
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == ':' && next != '/' && next != '\\')
            break;
        result.file += c;
    }

    std::string digits;
    bool allDigits = true;
    for (++i; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ':') {
            if (!allDigits)
                return std::nullopt;
            break;
        }
        if (c >= '0' && c <= '9')
            digits += c;
        else
            allDigits = false;
    }

    result.line = Brask::toInt(digits);
    Brask::diag("gcc error(%s, %d)", result.file.c_str(), result.line);
    Brask::diagEndLine();
    return result;
}
