#include "Linker.h"

#include "Directives.h"

namespace Lintel {

namespace {

using BlockRef = std::pair<size_t, size_t>; // unit, block

// Where each name is defined: per unit for its own names, globally for what
// units export (the first definition wins; weak ones give way).
struct DefinitionIndex {
    std::unordered_map<std::string_view, BlockRef> global;
    std::vector<std::unordered_map<std::string_view, size_t>> local;
    std::vector<std::unordered_set<std::string_view>> exported;
};

DefinitionIndex indexDefinitions(const std::vector<const Unit*>& units)
{
    DefinitionIndex index;
    index.local.resize(units.size());
    index.exported.resize(units.size());
    for (size_t u = 0; u < units.size(); ++u) {
        index.exported[u].insert(units[u]->globals.begin(), units[u]->globals.end());
        for (size_t b = 0; b < units[u]->blocks.size(); ++b) {
            for (std::string_view name : units[u]->blocks[b].defines) {
                index.local[u][name] = b;
                if (!index.exported[u].count(name))
                    continue;
                auto [at, added] = index.global.emplace(name, BlockRef{u, b});
                if (!added && units[at->second.first]->weak.count(name) && !units[u]->weak.count(name))
                    at->second = {u, b};
            }
        }
    }
    return index;
}

// Which blocks the roots and `entry` reach; everything when there is no
// entry.
std::vector<std::vector<bool>> reachable(const std::vector<const Unit*>& units, const DefinitionIndex& index,
                                         const std::string& entry)
{
    std::vector<std::vector<bool>> keep(units.size());
    std::vector<BlockRef> work;
    auto mark = [&](BlockRef at) {
        if (!keep[at.first][at.second]) {
            keep[at.first][at.second] = true;
            work.push_back(at);
        }
    };
    for (size_t u = 0; u < units.size(); ++u) {
        keep[u].assign(units[u]->blocks.size(), false);
        for (size_t b = 0; b < units[u]->blocks.size(); ++b)
            if (units[u]->blocks[b].root)
                mark({u, b});
    }
    auto start = index.global.find(entry);
    if (start != index.global.end()) {
        mark(start->second);
    } else {
        for (size_t u = 0; u < units.size(); ++u)
            for (size_t b = 0; b < units[u]->blocks.size(); ++b)
                mark({u, b});
    }
    while (!work.empty()) {
        const auto [u, b] = work.back();
        work.pop_back();
        for (std::string_view use : units[u]->blocks[b].uses) {
            // A global the unit defines may be overridden (a weak
            // definition): the definition the link chose is the one used.
            auto local = index.local[u].find(use);
            auto global = index.global.find(use);
            if (global != index.global.end() && (index.exported[u].count(use) || local == index.local[u].end()))
                mark(global->second);
            else if (local != index.local[u].end())
                mark({u, local->second});
        }
    }
    return keep;
}

// The name a directive line says something about: its first operand.
std::string_view describedName(std::string_view line)
{
    return operandAt(trim(line), 0);
}

// A removed block leaves nothing but a weak reference to a name nobody
// defines, which must stay weak.
void writeRemoved(const Unit& unit, const Block& block, std::string& out, ElimResult& result)
{
    result.removedBytes += block.text.size();
    if (block.text.find(".weak") == std::string_view::npos)
        return;
    std::string_view line;
    for (size_t pos = 0; ToolText::nextLine(block.text, pos, line);) {
        const std::string_view name = describedName(line);
        if (firstWord(line) == ".weak" && !name.empty() && !unit.labels.count(name)) {
            out += line;
            out += '\n';
        }
    }
}

// A kept block, in its own section (it may have followed a removed one that
// switched sections), without what is said about names whose definition
// went.
void writeKept(const Block& block, const std::unordered_set<std::string_view>& gone, std::string& out,
               ElimResult& result)
{
    out += '\t';
    out += block.section;
    out += '\n';
    size_t copied = 0;
    std::string_view line;
    for (size_t pos = 0; !gone.empty() && ToolText::nextLine(block.text, pos, line);) {
        const std::string_view name = describedName(line);
        if (!describesSymbol(firstWord(line)) || name.empty() || !gone.count(name))
            continue;
        const size_t at = static_cast<size_t>(line.data() - block.text.data());
        out += block.text.substr(copied, at - copied);
        result.removedBytes += line.size() + 1;
        copied = pos;
    }
    if (copied < block.text.size())
        out += block.text.substr(copied);
}

} // namespace

ElimResult eliminate(const std::vector<const Unit*>& units, const std::string& entry,
                     const std::function<void(std::string_view)>& write)
{
    const std::vector<std::vector<bool>> keep = reachable(units, indexDefinitions(units), entry);
    ElimResult result;
    std::string out = "# rebuild.s: the program reduced by lintel -elim\n";
    for (size_t u = 0; u < units.size(); ++u) {
        const Unit& unit = *units[u];
        out += "# lintel: from " + unit.name + "\n";
        // Names whose definition here was left out: what is said about them
        // elsewhere in the unit goes too.
        std::unordered_set<std::string_view> gone;
        for (size_t b = 0; b < unit.blocks.size(); ++b)
            if (!keep[u][b])
                gone.insert(unit.blocks[b].defines.begin(), unit.blocks[b].defines.end());
        for (size_t b = 0; b < unit.blocks.size(); ++b) {
            const Block& block = unit.blocks[b];
            result.functions += block.function;
            result.removed += block.function && !keep[u][b];
            if (keep[u][b])
                writeKept(block, gone, out, result);
            else
                writeRemoved(unit, block, out, result);
            if (out.size() >= (1 << 20)) {
                write(out);
                out.clear();
            }
        }
    }
    write(out);
    return result;
}

std::string withThousands(size_t n)
{
    std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace Lintel
