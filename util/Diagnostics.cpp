#include "util/Diagnostics.h"

#include <cstdarg>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

void diag(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> buf(n > 0 ? static_cast<size_t>(n) + 1 : 1);
    if (n > 0)
        std::vsnprintf(buf.data(), buf.size(), format, args);
    va_end(args);
    if (n <= 0)
        return;

    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_stream)
        return;
    separateFromOtherThread();
    std::fwrite(buf.data(), 1, static_cast<size_t>(n), g_stream);
    g_lineOpen = buf[static_cast<size_t>(n) - 1] != '\n';
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
