#include "util/Diagnostics.h"

#include <cstdarg>
#include <mutex>
#include <string>
#include <thread>

namespace Brask {

namespace {

// The Bluetooth search logs from its worker while the GUI thread (or a test)
// logs or swaps the stream: everything below is guarded by one lock, and each
// call writes its text whole under it.
std::mutex g_lock;
std::FILE* g_stream = stdout;
bool g_lineOpen = false;
// The thread whose text left the line open.
std::thread::id g_lineOwner;

// With the lock held: ends a line another thread left open, so texts of two
// threads never share a line.
void separateFromOtherThread()
{
    if (g_lineOpen && g_lineOwner != std::this_thread::get_id()) {
        std::fputc('\n', g_stream);
        g_lineOpen = false;
    }
}

} // namespace

void setDiagnosticStream(std::FILE* stream)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_stream = stream;
    g_lineOpen = false;
}

std::FILE* diagnosticStream()
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_stream;
}

std::string formatText(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

void diag(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const std::string text = formatText(format, args);
    va_end(args);
    if (text.empty())
        return;

    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_stream)
        return;
    separateFromOtherThread();
    std::fwrite(text.data(), 1, text.size(), g_stream);
    g_lineOpen = text.back() != '\n';
    g_lineOwner = std::this_thread::get_id();
    std::fflush(g_stream);
}

void diagEndLine()
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_stream && g_lineOpen && g_lineOwner == std::this_thread::get_id()) {
        std::fputc('\n', g_stream);
        std::fflush(g_stream);
        g_lineOpen = false;
    }
}

} // namespace Brask
