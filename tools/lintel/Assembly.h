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
// The label a line defines ("name:" at its start), or empty.
std::string labelOf(const std::string& raw);

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
// several inputs can be concatenated and still assemble. With `origin`, the
// index of each kept line in `text`.
std::string reduceAssembly(const std::string& text, int unit, std::vector<size_t>* origin = nullptr);

// A place in a source file; line 0 when only the file is known.
struct Location {
    std::string file;
    int line = 0;
};

// "file:line" or "file", as compilers begin their messages.
std::string describe(const Location& where);

// Where each line of `text` comes from. The compiler's numbered .file lines
// and .loc lines (written with -g) name the source as the compiler was given
// it; a line they do not place (data, code before the first .loc) has the
// main source without a line. A label starting code has the place of the code
// after it. Other assembly is its own source: `path` with the line number, or
// without one when `numbered` is false (a library member is no file).
std::vector<Location> sourceLocations(const std::string& text, const std::string& path, bool numbered);

} // namespace Lintel
