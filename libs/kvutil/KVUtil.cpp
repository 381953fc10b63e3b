#include "kvutil/KVUtil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace KVUtil {

namespace {

const char* baseName(const char* file)
{
    const char* slash = std::strrchr(file, '/');
    const char* back = std::strrchr(file, '\\');
    const char* last = slash > back ? slash : back;
    return last ? last + 1 : file;
}

void onAllocationFailure()
{
    fatalError(6, __FILE__, __LINE__);
}

} // namespace

void fatalError(int code, const char* file, int line)
{
    std::printf("BFE %i %s:%i\n", code, baseName(file), line);
    std::printf("Error code %i\n", code);
    std::fflush(stdout);
    std::_Exit(code);
}

void installAllocationFailureHandler()
{
    std::set_new_handler(onAllocationFailure);
}

String substr(const String& text, long start, long length)
{
    const long size = static_cast<long>(text.size());
    if (start < 0 || start > size || length < -1)
        fatalError(1, __FILE__, __LINE__);
    if (length == -1 || start + length > size)
        length = size - start;
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(length));
}

long find(const String& text, const String& needle, long start)
{
    if (start < 0 || start > static_cast<long>(text.size()))
        return -1;
    const size_t pos = text.find(needle, static_cast<size_t>(start));
    return pos == String::npos ? -1 : static_cast<long>(pos);
}

long findLast(const String& text, char c)
{
    const size_t pos = text.rfind(c);
    return pos == String::npos ? -1 : static_cast<long>(pos);
}

} // namespace KVUtil
