#pragma once
// Symbol resolution and dead-code elimination over GNU-style assembly: each
// input file or library member is a unit, cut into blocks (one per symbol,
// with the directives before it; anonymous parts holding only local labels
// and data; and the unit's shared parts), with the names each block defines
// and uses.

#include "Assembly.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Lintel {

// Every view of a unit points into its text, which copies of the unit share.
struct UnitText {
    std::string lines;             // the kept lines with the unit's unique names
    std::deque<std::string> made;  // names written nowhere in `lines`
};

struct Block {
    std::string_view symbol;     // the symbol that starts it; empty for a shared or anonymous part
    bool function = false;
    // Always kept: what the program runs without being called (constructor
    // tables, unknown sections) and what may be reached in ways lintel
    // cannot see.
    bool root = false;
    std::string_view section;    // section directive in effect where it starts
    std::string_view text;       // its lines, each with its line feed
    std::vector<std::string_view> uses;    // names it uses, in order, each once
    std::vector<std::string_view> defines; // labels and symbols it defines
};

struct Unit {
    std::string name;             // as messages show it: "main.s", "KVStd.lib(kvstd.s)"
    std::shared_ptr<const UnitText> text;
    std::vector<Block> blocks;
    std::unordered_set<std::string_view> labels; // everything the unit defines, statics renamed
    std::vector<std::string_view> globals; // defined and visible to other units, in order
    std::unordered_set<std::string_view> weak;
    std::vector<std::string_view> external; // used but not defined here, in order
    std::unordered_map<std::string_view, Location> usedAt;    // each external name: its first use
    std::unordered_map<std::string_view, Location> definedAt; // each global: its definition
};

// Parses one file. `number` makes its local and static names unique
// (".L3" becomes ".L3.N", a static "helper" becomes "helper.N"), so the
// kept parts of many units can share one file. `path` is the file as given
// (messages without line information show its line numbers); empty for a
// library member.
Unit parseUnit(const std::string& name, std::string_view text, int number, const std::string& path = std::string());

struct ElimResult {
    int functions = 0;
    int removed = 0;
    size_t removedBytes = 0;
};

// Keeps the blocks reachable from `entry` and from the roots through the
// names they use, and hands them to `write` as assembly, piece by piece, so
// the program never has to be held twice. Units must already resolve.
ElimResult eliminate(const std::vector<const Unit*>& units, const std::string& entry,
                     const std::function<void(std::string_view)>& write);

// 3184 -> "3,184".
std::string withThousands(size_t n);

} // namespace Lintel
