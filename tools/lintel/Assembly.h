#pragma once
// What lintel understands of GNU-style assembly text: the parts of a line,
// the symbols a file defines, and the reduced form written to rebuild.s.
// Lines are views into the text they were cut from.

#include "Text.h"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Lintel {

using ToolText::trim;

// The first blank or tab of `s` from `from`, or npos.
size_t findBlank(std::string_view s, size_t from = 0);
bool isNameStart(char c);
bool isNameChar(char c);
// Local labels (".L...") are the compiler's own and never symbols.
bool isLocalLabel(std::string_view name);
// The label a line defines ("name:" at its start), or empty.
std::string_view labelOf(std::string_view raw);
// The first word of a line after any label: a directive or a mnemonic.
std::string_view firstWord(std::string_view raw);
// The next word of `text` from `pos`, words split at commas, blanks and
// tabs; false when none is left.
bool nextWord(std::string_view text, size_t& pos, std::string_view& word);
// Word `index` of `text`, or empty.
std::string_view wordAt(std::string_view text, size_t index);
// Word `index` after the first blank or tab of `line`: word 0 is the first
// operand of a trimmed directive line. Empty when there is no such word.
std::string_view operandAt(std::string_view line, size_t index);

struct Symbol {
    std::string name;
    // "function" or "object" from a .type directive; "label" for a global
    // label without one.
    std::string kind;
};

// The symbols `text` defines, each once, in the order the program file
// lists them. Local labels (".L...") are not symbols; a plain label counts
// only when it is declared global.
std::vector<Symbol> fileSymbols(std::string_view text);
// Appends `found` to `symbols`, skipping names already there (the same file
// may be linked twice).
void addSymbols(const std::vector<Symbol>& found, std::vector<Symbol>& symbols);

// The assembly without what a program never needs: debug sections,
// .file/.loc line information, call-frame directives and .ident. Local
// labels (".L...") get the suffix "." + `unit`, so the reduced files of
// several inputs can be concatenated and still assemble.
struct Reduced {
    std::string text;             // the kept lines, each ending in a line feed
    std::vector<uint32_t> origin; // per kept line, its index in the input's lines
};
Reduced reduceAssembly(const std::vector<std::string_view>& lines, int unit);

// A place in a source file; line 0 when only the file is known.
struct Location {
    std::string file;
    int line = 0;
};

// "file:line" or "file", as compilers begin their messages.
std::string describe(const Location& where);

// Where each line of a unit comes from. The compiler's numbered .file lines
// and .loc lines (written with -g) name the source as the compiler was given
// it; a line they do not place (data, code before the first .loc) has the
// main source without a line. A label starting code has the place of the code
// after it. Other assembly is its own source: `path` with the line number, or
// without one when `numbered` is false (a library member is no file).
class SourceMap {
public:
    SourceMap(const std::vector<std::string_view>& lines, const std::string& path, bool numbered);
    Location at(size_t line) const;

private:
    struct Place {
        uint32_t file; // index in m_files
        int32_t line;
    };
    std::map<long, uint32_t> readFileNames(const std::vector<std::string_view>& lines);
    void placeLines(const std::vector<std::string_view>& lines, const std::map<long, uint32_t>& numbered,
                    bool numberedLines);

    std::vector<std::string> m_files; // 0: the main source, 1: the unit's own path
    std::vector<Place> m_places;
    bool m_lineInfo = false;
};

} // namespace Lintel
