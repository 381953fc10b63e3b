#pragma once
// What lintel knows about single directives and mnemonics, shared by the
// unit parser and dead-code elimination.

#include <string_view>

namespace Lintel {

// Directives whose operands use names the way instructions do.
bool directiveUses(std::string_view d);

// Directives that say something about one symbol, named first, and emit
// nothing.
bool describesSymbol(std::string_view d);

bool isAlignment(std::string_view d);

// Directives that define a symbol without a label.
bool definesByDirective(std::string_view d);

bool isSectionDirective(std::string_view d);

bool isInstruction(std::string_view d);

// Lines that put bytes into the section: instructions and data directives.
bool emits(std::string_view d);

// Sections whose content is only reached through names. Anything else
// (constructor and destructor tables, .init, sections a program collects by
// their bounds) runs or is read without a name, so it stays; so does a
// section marked to be retained ("R").
bool removableSection(std::string_view directive);

// Whether control may run off the end of the code that ends with `d`.
bool fallsThrough(std::string_view d);

bool isPrefix(std::string_view word);

} // namespace Lintel
