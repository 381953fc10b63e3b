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

void location(const char* file, int line)
{
    diag("in %s @ line %i\n", baseName(file), line);
}

} // namespace

void btFailure(const char* file, int line)
{
    diag("Failure ");
    location(file, line);
}

void btFailure(int code, const char* file, int line)
{
    diag("Failure %i ", code);
    location(file, line);
}

void btResultFailure(int result, const char* file, int line)
{
    diag("%i != %i; ", result, 0);
    btFailure(file, line);
}

void btAssertFailure(const char* condition, const char* file, int line, int code)
{
    diag("Assert failure %s ", condition);
    location(file, line);
    fatalError(code);
}

void btInternalError(const char* file, int line, int code)
{
    diag("BFE ");
    location(file, line);
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
    std::string text(data, size);
    for (char& c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '.';
    }
    return text;
}

} // namespace Brask
