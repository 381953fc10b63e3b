#pragma once
// Replacing a file so that a crash or a full disk never leaves it truncated:
// the text goes to a temporary file in the same directory, every write is
// counted, the file is flushed to disk and renamed over the target. On any
// failure the temporary file is removed and the old file stays as it was.

#include <string>
#include <sys/types.h>

namespace Brask {

using WriteFunction = ssize_t (*)(int fd, const void* data, size_t size);

// Writes `data` to `path`. A target that is a symbolic link is replaced
// through the link (the link stays). Returns false with a reason in `error`.
// `writeFn` lets tests simulate a disk that takes fewer bytes than offered.
bool writeFileAtomically(const std::string& path, const std::string& data, std::string* error = nullptr,
                         WriteFunction writeFn = nullptr);

} // namespace Brask
