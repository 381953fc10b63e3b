#pragma once
// The kit's basic value types. Plain standard containers: values are never
// shared between copies, so the Bluetooth worker thread and the GUI thread
// can each hold their own copies safely.

#include <string>
#include <vector>

namespace KVUtil {

using String = std::string;

template <typename T>
using Vector = std::vector<T>;

// Ends the process after an internal utility failure: prints
// "BFE <code> <file>:<line>" and "Error code <code>" on standard output and
// exits with `code`. `file` may carry a directory; only its last component
// is printed.
[[noreturn]] void fatalError(int code, const char* file, int line);

// Installs the allocation-failure handler (exit code 6). Idempotent.
void installAllocationFailureHandler();

// Substring with the design's -1 "to the end" length. A start beyond the
// text or a negative length other than -1 is a program bug: it ends the
// process through fatalError rather than reading past the text.
String substr(const String& text, long start, long length = -1);

// Position of `needle` at or after `start`, or -1.
long find(const String& text, const String& needle, long start = 0);

// Position of the last occurrence of `c`, or -1.
long findLast(const String& text, char c);

} // namespace KVUtil
