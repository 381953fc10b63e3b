#include "core/config/FileKind.h"

#include "util/PathUtil.h"

namespace Brask {

FileKind fileKind(const String& path)
{
    const size_t dot = path.rfind('.');
    if (dot == String::npos)
        return OtherFile;
    const String ext = toUpper(path.substr(dot + 1));
    if (ext == "C" || ext == "CPP" || ext == "CXX" || ext == "CC")
        return SourceFile;
    if (ext == "LST")
        return ResourceList;
    if (ext == "ASM" || ext == "S")
        return AssemblyFile;
    return OtherFile;
}

} // namespace Brask
