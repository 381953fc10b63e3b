#include "Linker.h"

#include "Assembly.h"

#include <map>

namespace Lintel {

namespace {

bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.';
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '$';
}

// The label a line defines ("name:" at its start), or empty.
std::string labelOf(const std::string& raw)
{
    if (raw.empty() || !isNameStart(raw[0]))
        return std::string();
    size_t end = 1;
    while (end < raw.size() && isNameChar(raw[end]))
        ++end;
    return end < raw.size() && raw[end] == ':' ? raw.substr(0, end) : std::string();
}

// The first word of a line after any label: a directive or a mnemonic.
std::string firstWord(const std::string& raw)
{
    std::string rest = raw;
    const std::string label = labelOf(raw);
    if (!label.empty())
        rest = raw.substr(label.size() + 1);
    rest = trim(rest);
    return rest.substr(0, rest.find_first_of(" \t"));
}

std::vector<std::string> operandNames(const std::string& line)
{
    std::vector<std::string> out;
    const size_t space = line.find_first_of(" \t");
    if (space == std::string::npos)
        return out;
    std::string cur;
    for (char c : line.substr(space) + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    return out;
}

// Directives whose operands use names the way instructions do.
bool directiveUses(const std::string& d)
{
    static const char* const list[] = {".quad", ".long", ".int", ".word", ".short", ".byte", ".value",
                                       ".8byte", ".4byte", ".2byte", ".dc.a", ".set", ".equ", ".reloc"};
    for (const char* l : list)
        if (d == l)
            return true;
    return false;
}

// Directives that emit nothing and so may stand before a label as its header.
bool isHeaderDirective(const std::string& d)
{
    static const char* const list[] = {".globl", ".global", ".type", ".p2align", ".align", ".balign", ".text",
                                       ".data", ".bss", ".section", ".weak", ".hidden", ".local", ".protected",
                                       ".internal", ".pushsection", ".popsection", ".previous"};
    for (const char* l : list)
        if (d == l)
            return true;
    return false;
}

bool isSectionDirective(const std::string& d)
{
    return d == ".text" || d == ".data" || d == ".bss" || d == ".section" || d == ".pushsection"
        || d == ".popsection" || d == ".previous";
}

bool isPrefix(const std::string& word)
{
    static const char* const list[] = {"rep", "repe", "repz", "repne", "repnz", "lock", "notrack", "bnd",
                                       "data16", "addr32", "xacquire", "xrelease"};
    for (const char* l : list)
        if (word == l)
            return true;
    return false;
}

// Walks the names of one line outside strings and comments. `rename` maps
// statics to their unit-unique names; every name in a position that uses a
// symbol goes to `uses`.
std::string scanLine(const std::string& raw, const std::map<std::string, std::string>& rename, bool collect,
                     std::vector<std::string>& uses)
{
    std::string out;
    const std::string label = labelOf(raw);
    size_t i = 0;
    if (!label.empty()) {
        auto r = rename.find(label);
        out = (r == rename.end() ? label : r->second) + ":";
        i = label.size() + 1;
    }
    // The directive or mnemonic itself is no use of a name, nor is a prefix
    // such as "rep" or "lock" before it.
    for (;;) {
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t'))
            out += raw[i++];
        const size_t wordStart = i;
        while (i < raw.size() && raw[i] != ' ' && raw[i] != '\t')
            out += raw[i++];
        if (!isPrefix(raw.substr(wordStart, i - wordStart)))
            break;
    }
    bool inString = false;
    while (i < raw.size()) {
        const char c = raw[i];
        if (inString) {
            out += c;
            if (c == '\\' && i + 1 < raw.size())
                out += raw[++i];
            else if (c == '"')
                inString = false;
            ++i;
            continue;
        }
        if (c == '"') {
            inString = true;
            out += c;
            ++i;
            continue;
        }
        if (c == '#') { // comment to the end of the line
            out += raw.substr(i);
            break;
        }
        if (c >= '0' && c <= '9') { // numbers, and numeric local labels like 1b
            while (i < raw.size() && isNameChar(raw[i]))
                out += raw[i++];
            continue;
        }
        if (!isNameStart(c)) {
            out += c;
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < raw.size() && isNameChar(raw[end]))
            ++end;
        const std::string name = raw.substr(i, end - i);
        const char before = i > 0 ? raw[i - 1] : ' ';
        auto r = rename.find(name);
        out += r == rename.end() ? name : r->second;
        i = end;
        if (!collect || before == '%' || before == '@' || name == ".")
            continue;
        const std::string used = r == rename.end() ? name : r->second;
        bool seen = false;
        for (const std::string& u : uses)
            seen = seen || u == used;
        if (!seen)
            uses.push_back(used);
    }
    return out;
}

} // namespace

Unit parseUnit(const std::string& name, const std::string& text, int number)
{
    Unit unit;
    unit.name = name;
    const std::string suffix = "." + std::to_string(number);
    std::vector<std::string> lines = splitLines(reduceAssembly(text, number));

    // What the unit defines and exports.
    std::set<std::string> globals;
    std::vector<std::string> defined;
    auto define = [&](const std::string& n) {
        if (unit.labels.insert(n).second)
            defined.push_back(n);
    };
    for (const std::string& raw : lines) {
        const std::string label = labelOf(raw);
        if (!label.empty())
            define(label);
        const std::string d = firstWord(raw);
        const std::vector<std::string> ops = operandNames(trim(raw.substr(label.empty() ? 0 : label.size() + 1)));
        if (d == ".globl" || d == ".global" || d == ".weak") {
            for (const std::string& n : ops)
                globals.insert(n);
            if (d == ".weak")
                unit.weak.insert(ops.begin(), ops.end());
        } else if ((d == ".comm" || d == ".lcomm" || d == ".set" || d == ".equ") && !ops.empty()) {
            define(ops[0]);
        }
    }
    std::map<std::string, std::string> rename;
    for (const std::string& n : defined) {
        if (globals.count(n))
            unit.globals.push_back(n);
        else if (!startsWith(n, ".L"))
            rename[n] = n + suffix;
    }
    std::set<std::string> labels;
    for (const std::string& n : unit.labels) {
        auto r = rename.find(n);
        labels.insert(r == rename.end() ? n : r->second);
    }
    unit.labels = labels;

    // Rewrite with the unique names and collect what each line uses.
    std::vector<std::vector<std::string>> lineUses(lines.size());
    std::vector<std::string> labelAt(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string d = firstWord(lines[i]);
        const bool collect = !d.empty() && d[0] != '#' && (d[0] != '.' || directiveUses(d));
        std::vector<std::string> uses;
        const std::string original = labelOf(lines[i]);
        lines[i] = scanLine(lines[i], rename, collect, uses);
        if ((d == ".set" || d == ".equ") && !uses.empty())
            uses.erase(uses.begin()); // the name being set
        lineUses[i] = uses;
        if (!original.empty() && !startsWith(original, ".L"))
            labelAt[i] = labelOf(lines[i]);
    }

    // Cut into blocks: each label that is not local starts one, together with
    // the directives just before it (after the previous symbol's .size).
    std::vector<size_t> starts;
    std::vector<size_t> labelLine;
    size_t previousLabel = 0;
    bool havePrevious = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (labelAt[i].empty())
            continue;
        const size_t floor = havePrevious ? previousLabel + 1 : 0;
        size_t h = i;
        size_t lastSize = std::string::npos;
        for (size_t k = floor; k < i; ++k) {
            if (firstWord(lines[k]) == ".size") {
                const std::vector<std::string> ops = operandNames(trim(lines[k]));
                if (!ops.empty() && ops[0] != labelAt[i])
                    lastSize = k;
            }
        }
        if (lastSize != std::string::npos) {
            h = lastSize + 1;
        } else {
            while (h > floor) {
                const std::string t = trim(lines[h - 1]);
                const std::string d = firstWord(lines[h - 1]);
                if (!(t.empty() || t[0] == '#' || (labelOf(lines[h - 1]).empty() && isHeaderDirective(d))))
                    break;
                --h;
            }
        }
        starts.push_back(h);
        labelLine.push_back(i);
        previousLabel = i;
        havePrevious = true;
    }
    // The end of the last block: after its .size, the rest is shared.
    size_t tail = lines.size();
    if (!labelLine.empty()) {
        const std::string& last = labelAt[labelLine.back()];
        for (size_t k = labelLine.back() + 1; k < lines.size(); ++k) {
            const std::vector<std::string> ops = operandNames(trim(lines[k]));
            if (firstWord(lines[k]) == ".size" && !ops.empty() && ops[0] == last)
                tail = k + 1;
        }
    }

    // Sections in effect at each line.
    std::vector<std::string> sectionAt(lines.size() + 1);
    std::string current = ".text";
    std::vector<std::string> stack;
    std::string previous = ".text";
    for (size_t i = 0; i < lines.size(); ++i) {
        sectionAt[i] = current;
        const std::string d = firstWord(lines[i]);
        if (!isSectionDirective(d))
            continue;
        const std::string t = trim(lines[i]);
        if (d == ".previous") {
            std::swap(current, previous);
        } else if (d == ".popsection") {
            if (!stack.empty()) {
                previous = current;
                current = stack.back();
                stack.pop_back();
            }
        } else {
            if (d == ".pushsection")
                stack.push_back(current);
            previous = current;
            current = d == ".pushsection" ? ".section" + t.substr(d.size()) : t;
        }
    }
    sectionAt[lines.size()] = current;

    auto makeBlock = [&](size_t from, size_t to, const std::string& symbol) {
        Block b;
        b.symbol = symbol;
        b.section = sectionAt[from];
        std::set<std::string> seen;
        for (size_t k = from; k < to; ++k) {
            b.lines.push_back(lines[k]);
            for (const std::string& u : lineUses[k])
                if (seen.insert(u).second)
                    b.uses.push_back(u);
        }
        // Typed by its .type directive; an untyped label in a code section
        // is code.
        bool typed = false;
        for (const std::string& l : b.lines) {
            const std::vector<std::string> ops = operandNames(trim(l));
            if (!symbol.empty() && firstWord(l) == ".type" && ops.size() >= 2 && ops[0] == symbol) {
                typed = true;
                b.function = ops[1] == "@function" || ops[1] == "%function" || ops[1] == "STT_FUNC";
            }
        }
        if (!symbol.empty() && !typed) {
            size_t at = from;
            while (at < to && labelOf(lines[at]) != symbol)
                ++at;
            const std::string& section = sectionAt[at];
            b.function = section == ".text" || section.find(" .text") != std::string::npos
                || section.find("\t.text") != std::string::npos;
        }
        unit.blocks.push_back(b);
    };
    const size_t firstStart = starts.empty() ? tail : starts[0];
    makeBlock(0, firstStart, std::string());
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : tail;
        makeBlock(starts[k], end, labelAt[labelLine[k]]);
    }
    if (tail < lines.size() || starts.empty())
        makeBlock(starts.empty() ? firstStart : tail, lines.size(), std::string());

    std::set<std::string> external;
    for (const Block& b : unit.blocks)
        for (const std::string& u : b.uses)
            if (!unit.labels.count(u) && u != "_GLOBAL_OFFSET_TABLE_" && external.insert(u).second)
                unit.external.push_back(u);
    return unit;
}

ElimResult eliminate(const std::vector<const Unit*>& units, const std::string& entry)
{
    // Where each name is defined: per unit for its own labels, globally for
    // what units export (the first definition wins; weak ones give way).
    std::map<std::string, std::pair<size_t, size_t>> globalBlock;
    std::vector<std::map<std::string, size_t>> localBlock(units.size());
    for (size_t u = 0; u < units.size(); ++u) {
        std::set<std::string> exported(units[u]->globals.begin(), units[u]->globals.end());
        for (size_t b = 0; b < units[u]->blocks.size(); ++b) {
            const Block& block = units[u]->blocks[b];
            for (const std::string& l : block.lines) {
                const std::string label = labelOf(l);
                if (label.empty())
                    continue;
                localBlock[u][label] = b;
                if (exported.count(label) && (!globalBlock.count(label) || units[globalBlock[label].first]->weak.count(label)))
                    globalBlock[label] = {u, b};
            }
        }
    }
    std::vector<std::vector<bool>> keep(units.size());
    std::vector<std::pair<size_t, size_t>> work;
    auto mark = [&](size_t u, size_t b) {
        if (!keep[u][b]) {
            keep[u][b] = true;
            work.push_back({u, b});
        }
    };
    for (size_t u = 0; u < units.size(); ++u) {
        keep[u].assign(units[u]->blocks.size(), false);
        for (size_t b = 0; b < units[u]->blocks.size(); ++b)
            if (units[u]->blocks[b].symbol.empty())
                mark(u, b);
    }
    if (globalBlock.count(entry)) {
        mark(globalBlock[entry].first, globalBlock[entry].second);
    } else {
        for (size_t u = 0; u < units.size(); ++u)
            for (size_t b = 0; b < units[u]->blocks.size(); ++b)
                mark(u, b);
    }
    while (!work.empty()) {
        const auto [u, b] = work.back();
        work.pop_back();
        for (const std::string& use : units[u]->blocks[b].uses) {
            auto local = localBlock[u].find(use);
            if (local != localBlock[u].end())
                mark(u, local->second);
            else if (globalBlock.count(use))
                mark(globalBlock[use].first, globalBlock[use].second);
        }
    }

    ElimResult result;
    result.assembly = "# rebuild.s: the program reduced by lintel -elim\n";
    for (size_t u = 0; u < units.size(); ++u) {
        result.assembly += "# lintel: from " + units[u]->name + "\n";
        for (size_t b = 0; b < units[u]->blocks.size(); ++b) {
            const Block& block = units[u]->blocks[b];
            if (block.function)
                ++result.functions;
            if (!keep[u][b]) {
                if (block.function)
                    ++result.removed;
                for (const std::string& l : block.lines)
                    result.removedBytes += l.size() + 1;
                continue;
            }
            // The block may have followed a removed one that switched sections.
            result.assembly += "\t" + block.section + "\n";
            for (const std::string& l : block.lines)
                result.assembly += l + "\n";
        }
    }
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
