#pragma once
// Classification of project files by the extension of their stored path.

#include "kvutil/KVUtil.h"

namespace Brask {

enum FileKind {
    OtherFile = 0,     // headers, files without extension: ignored by the build
    SourceFile = 1,    // .c .cpp .cxx .cc: compiled
    ResourceList = 2,  // .lst: input of the resource build
    AssemblyFile = 3,  // .asm .s: linked as they are
};

// The extension is the text after the last "." of the path, compared
// case-insensitively.
FileKind fileKind(const KVUtil::String& path);

} // namespace Brask
