#include "bluetooth/BtReport.h"

#include "util/Diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Brask {

namespace {

const char* baseName(const char* file)
{
    const char* slash = std::strrchr(file, '/');
    return slash ? slash + 1 : file;
}

// True when the byte at `i` (0x80-0xBF) continues a UTF-8 sequence: the
// nearest lead byte before it, at most three back, announces it.
bool continuesSequence(const unsigned char* bytes, std::size_t i)
{
    for (std::size_t back = 1; back <= 3 && back <= i; ++back) {
        const unsigned char b = bytes[i - back];
        if (b >= 0x80 && b <= 0xBF)
            continue;
        const std::size_t length = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 1;
        return back < length;
    }
    return false;
}

} // namespace

// Each report is one diag call, so its line is written whole even while
// another thread logs.
void btFailure(const char* file, int line)
{
    diag("Failure in %s @ line %i\n", baseName(file), line);
}

void btFailure(int code, const char* file, int line)
{
    diag("Failure %i in %s @ line %i\n", code, baseName(file), line);
}

void btResultFailure(int result, const char* file, int line)
{
    diag("%i != %i; Failure in %s @ line %i\n", result, 0, baseName(file), line);
}

void btAssertFailure(const char* condition, const char* file, int line, int code)
{
    diag("Assert failure %s in %s @ line %i\n", condition, baseName(file), line);
    fatalError(code);
}

void btInternalError(const char* file, int line, int code)
{
    diag("BFE in %s @ line %i\n", baseName(file), line);
    fatalError(code);
}

void fatalError(int code)
{
    diag("Error code %i\n", code);
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(code);
}

std::string printableBytes(const char* data, std::size_t size)
{
    std::string text;
    text.reserve(size);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        const unsigned char u = bytes[i];
        // U+0080-U+009F in UTF-8: a UTF-8 terminal takes these as C1 controls.
        if (u == 0xC2 && i + 1 < size && bytes[i + 1] >= 0x80 && bytes[i + 1] <= 0x9F) {
            text += '.';
            ++i;
            continue;
        }
        // C0, DEL, and C1 as single bytes (what an 8-bit terminal acts on).
        // Bytes of other UTF-8 sequences never fall in 0x80-0x9F as a
        // sequence's first byte, so a lone one here is not text.
        if (u < 0x20 || u == 0x7F || (u >= 0x80 && u <= 0x9F && !continuesSequence(bytes, i)))
            text += '.';
        else
            text += static_cast<char>(u);
    }
    return text;
}

} // namespace Brask
