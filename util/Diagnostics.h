#pragma once
// The core's diagnostic lines (printf-style, not an interface). They go to
// standard output unless a program redirects them, as varbuild-cli does to
// keep its standard output for results.
//
// Every function here may be called from any thread: a call's text is
// written whole under one lock, and a line that one thread left open is ended
// before another thread writes, so lines of two threads never mix. A line
// that must not be split is therefore written by one call.

#include <cstdarg>
#include <cstdio>
#include <string>

namespace Brask {

void diag(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf's text of `format` with `args`, for those who add to a diagnostic
// line before writing it whole.
std::string formatText(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Where diagnostics go; nullptr silences them.
void setDiagnosticStream(std::FILE* stream);
std::FILE* diagnosticStream();

// Ends the current diagnostic line if this thread's last diagnostic left it
// open (some designed messages carry no line feed).
void diagEndLine();

} // namespace Brask
