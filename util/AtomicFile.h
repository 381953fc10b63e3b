#pragma once
// Replacing a file so that a crash or a full disk never leaves it truncated:
// the text goes to a temporary file in the same directory, every write is
// counted, the file is flushed to disk and renamed over the target. On any
// failure the temporary file is removed and the old file stays as it was.
// Temporary files are named ".vbsave-HASH-XXXXXX" (HASH from the target's file
// name, so the name stays short); one left behind by a save that never ended
// is removed by the next save of the same file.

#include <string>
#include <sys/types.h>

namespace Brask {

using WriteFunction = ssize_t (*)(int fd, const void* data, size_t size);

// Writes `data` to `path`. A target that is a symbolic link is replaced
// through the link (the link stays). A file the user may not write is refused;
// a writable file in a directory the user may not write is rewritten in place
// (old content kept in memory and put back if the write fails). Returns false
// with a reason in `error` ("cannot write PATH: REASON" and the like).
// `writeFn` lets tests simulate a disk that takes fewer bytes than offered.
bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error = nullptr,
                         WriteFunction writeFn = nullptr);

// The name prefix of the temporary files that saving `path` uses.
std::string temporaryFilePrefix(const std::string& path);

} // namespace Brask
