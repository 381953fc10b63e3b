#pragma once
// What lintel understands of GNU-style assembly text: the symbols a file
// defines, and the reduced form written to rebuild.s.

#include <string>
#include <vector>

namespace Lintel {

// Text helpers shared by the symbol scan and the linker.
std::string trim(const std::string& s);
bool startsWith(const std::string& s, const char* prefix);
std::vector<std::string> splitLines(const std::string& text);

struct Symbol {
    std::string name;
    // "function" or "object" from a .type directive; "label" for a global
    // label without one.
    std::string kind;
};

// Appends the symbols `text` defines to `symbols`, skipping names already
// there (the same file may be linked twice). Local labels (".L...") are not
// symbols; a plain label counts only when it is declared global.
void scanSymbols(const std::string& text, std::vector<Symbol>& symbols);

// The assembly without what a program never needs: debug sections,
// .file/.loc line information, call-frame directives and .ident. Local
// labels (".L...") get the suffix "." + `unit`, so the reduced files of
// several inputs can be concatenated and still assemble.
std::string reduceAssembly(const std::string& text, int unit);

} // namespace Lintel
