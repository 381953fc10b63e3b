#pragma once
// Splitting a command line into arguments.
//
// Command lines come from project settings, the configuration and composed
// build steps that were written for the Windows C runtime's rules, so they
// are split by those rules here and then started without a shell.

#include <string>
#include <vector>

namespace Platform {

// Splits `commandLine` into the program name and its arguments.
//
// The first word (the program) follows the runtime's rule for argv[0]: it
// ends at the first blank or tab outside double quotes, every double quote
// only toggles quoting and is dropped, and backslashes are plain characters
// (a Windows path such as "C:\Program Files\x" survives intact).
//
// Every later word follows the full rules:
// - blanks and tabs outside quotes separate words (runs of them count once,
//   so doubled spaces never produce empty words);
// - a double quote toggles quoting and is dropped; "" gives an empty word;
// - inside quotes, a doubled double quote gives one literal quote and
//   quoting goes on;
// - 2n backslashes before a double quote give n backslashes and the quote
//   toggles quoting; 2n+1 give n backslashes and a literal quote;
// - backslashes not followed by a double quote are literal.
//
// Leading blanks are skipped. An empty or blank line gives no words.
std::vector<std::string> splitCommandLine(const std::string& commandLine);

} // namespace Platform
