#pragma once
// The reports of the Bluetooth module. "Failure" lines end one record's walk
// or one search and the program goes on; assertion and internal-error
// reports are for impossible local states and end the process.

#include <string>

namespace Brask {

// "Failure " and the location line.
void btFailure(const char* file, int line);
// "Failure %i " with `code` and the location line.
void btFailure(int code, const char* file, int line);
// "%i != %i; " with `result` and 0, then "Failure " and the location line.
void btResultFailure(int result, const char* file, int line);

// "Assert failure %s " with the condition, the location line, then fatalError(code).
[[noreturn]] void btAssertFailure(const char* condition, const char* file, int line, int code);
// "BFE ", the location line, then fatalError(code).
[[noreturn]] void btInternalError(const char* file, int line, int code);
// Prints "Error code %i" and ends the process with `code`.
[[noreturn]] void fatalError(int code);

// Bytes from a device made safe for a terminal: every control character a
// terminal would act on becomes '.' (C0 with NUL, DEL, and the C1 range
// U+0080-U+009F, UTF-8 encoded or as single bytes); other text is kept.
std::string printableBytes(const char* data, std::size_t size);
inline std::string printableBytes(const std::string& text) { return printableBytes(text.data(), text.size()); }

} // namespace Brask

#define BT_FAILURE() ::Brask::btFailure(__FILE__, __LINE__)
#define BT_FAILURE_CODE(code) ::Brask::btFailure((code), __FILE__, __LINE__)
#define BT_RESULT_FAILURE(result) ::Brask::btResultFailure((result), __FILE__, __LINE__)
#define BT_ASSERT(condition, code) \
    ((condition) ? (void)0 : ::Brask::btAssertFailure(#condition, __FILE__, __LINE__, (code)))
// The same with the condition's text given (where the code's spelling differs).
#define BT_ASSERT_TEXT(condition, text, code) \
    ((condition) ? (void)0 : ::Brask::btAssertFailure((text), __FILE__, __LINE__, (code)))
#define BT_INTERNAL_ERROR(code) ::Brask::btInternalError(__FILE__, __LINE__, (code))
