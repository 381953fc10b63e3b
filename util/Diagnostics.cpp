#include "util/Diagnostics.h"

#include <cstdarg>
#include <string>
#include <vector>

namespace Brask {

namespace {
std::FILE* g_stream = stdout;
bool g_lineOpen = false;
} // namespace

void setDiagnosticStream(std::FILE* stream)
{
    g_stream = stream;
    g_lineOpen = false;
}

std::FILE* diagnosticStream()
{
    return g_stream;
}

void diag(const char* format, ...)
{
    if (!g_stream)
        return;
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n > 0) {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        std::fwrite(buf.data(), 1, static_cast<size_t>(n), g_stream);
        g_lineOpen = buf[static_cast<size_t>(n) - 1] != '\n';
        std::fflush(g_stream);
    }
    va_end(args);
}

void diagEndLine()
{
    if (g_stream && g_lineOpen) {
        std::fputc('\n', g_stream);
        std::fflush(g_stream);
    }
    g_lineOpen = false;
}

} // namespace Brask
