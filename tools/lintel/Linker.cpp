#include "Linker.h"

#include "Assembly.h"

#include <cstring>
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
                                       ".8byte", ".4byte", ".2byte", ".dc.a", ".set", ".equ", ".equiv", ".reloc"};
    for (const char* l : list)
        if (d == l)
            return true;
    return false;
}

// Directives that say something about one symbol, named first, and emit
// nothing.
bool describesSymbol(const std::string& d)
{
    static const char* const list[] = {".globl", ".global", ".weak", ".hidden", ".local", ".protected",
                                       ".internal", ".type", ".size"};
    for (const char* l : list)
        if (d == l)
            return true;
    return false;
}

bool isAlignment(const std::string& d)
{
    return d == ".align" || d == ".p2align" || d == ".balign" || startsWith(d, ".p2align") || startsWith(d, ".balign");
}

// Directives that define a symbol without a label.
bool definesByDirective(const std::string& d)
{
    return d == ".comm" || d == ".lcomm" || d == ".set" || d == ".equ" || d == ".equiv";
}

bool isSectionDirective(const std::string& d)
{
    return d == ".text" || d == ".data" || d == ".bss" || d == ".section" || d == ".pushsection"
        || d == ".popsection" || d == ".previous";
}

bool isInstruction(const std::string& d)
{
    return !d.empty() && d[0] != '.' && d[0] != '#';
}

// Lines that put bytes into the section: instructions and data directives.
bool emits(const std::string& d)
{
    if (isInstruction(d))
        return true;
    return !d.empty() && d[0] == '.' && !isSectionDirective(d) && !describesSymbol(d) && !isAlignment(d)
        && !definesByDirective(d) && d != ".ident" && d != ".symver";
}

// Sections whose content is only reached through names. Anything else
// (constructor and destructor tables, .init, sections a program collects by
// their bounds) runs or is read without a name, so it stays; so does a
// section marked to be retained ("R").
bool removableSection(const std::string& directive)
{
    std::vector<std::string> words;
    std::string cur;
    for (char c : directive + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!cur.empty())
                words.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (words.empty())
        return false;
    if (words[0] == ".text" || words[0] == ".data" || words[0] == ".bss")
        return true;
    if (words.size() < 2 || (words[0] != ".section" && words[0] != ".pushsection"))
        return false;
    if (words.size() > 2 && words[2].find('R') != std::string::npos)
        return false;
    for (const char* prefix : {".text", ".data", ".bss", ".rodata", ".tdata", ".tbss", ".ldata", ".lbss", ".lrodata"}) {
        const std::string& name = words[1];
        if (startsWith(name, prefix) && (name.size() == std::strlen(prefix) || name[std::strlen(prefix)] == '.'))
            return true;
    }
    return false;
}

// Whether control may run off the end of the code that ends with `d`.
bool fallsThrough(const std::string& d)
{
    return isInstruction(d) && !startsWith(d, "jmp") && !startsWith(d, "ret") && d != "ud2" && d != "hlt";
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

Unit parseUnit(const std::string& name, const std::string& text, int number, const std::string& path)
{
    Unit unit;
    unit.name = name;
    const std::string suffix = "." + std::to_string(number);
    std::vector<size_t> origin;
    std::vector<std::string> lines = splitLines(reduceAssembly(text, number, &origin));
    const std::vector<Location> rawPlace = sourceLocations(text, path.empty() ? name : path, !path.empty());
    std::vector<Location> place(lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        place[i] = rawPlace[origin[i]];

    // What the unit defines and exports.
    std::set<std::string> globals;
    std::vector<std::string> defined;
    std::map<std::string, size_t> definedOn;
    auto define = [&](const std::string& n, size_t line) {
        if (unit.labels.insert(n).second) {
            defined.push_back(n);
            definedOn[n] = line;
        }
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& raw = lines[i];
        const std::string label = labelOf(raw);
        if (!label.empty())
            define(label, i);
        const std::string d = firstWord(raw);
        const std::vector<std::string> ops = operandNames(trim(raw.substr(label.empty() ? 0 : label.size() + 1)));
        if (d == ".globl" || d == ".global" || d == ".weak") {
            for (const std::string& n : ops)
                globals.insert(n);
            if (d == ".weak")
                unit.weak.insert(ops.begin(), ops.end());
        } else if (definesByDirective(d) && !ops.empty()) {
            define(ops[0], i);
        }
    }
    std::map<std::string, std::string> rename;
    for (const std::string& n : defined) {
        if (globals.count(n)) {
            unit.globals.push_back(n);
            unit.definedAt[n] = place[definedOn[n]];
        } else if (!startsWith(n, ".L")) {
            rename[n] = n + suffix;
        }
    }
    std::set<std::string> labels;
    for (const std::string& n : unit.labels) {
        auto r = rename.find(n);
        labels.insert(r == rename.end() ? n : r->second);
    }
    unit.labels = labels;

    // Rewrite with the unique names and collect what each line uses.
    const size_t n = lines.size();
    std::vector<std::vector<std::string>> lineUses(n);
    std::vector<std::string> word(n);
    for (size_t i = 0; i < n; ++i) {
        const std::string d = firstWord(lines[i]);
        word[i] = d;
        const bool collect = !d.empty() && d[0] != '#' && (d[0] != '.' || directiveUses(d));
        std::vector<std::string> uses;
        lines[i] = scanLine(lines[i], rename, collect, uses);
        if (definesByDirective(d) && !uses.empty())
            uses.erase(uses.begin()); // the name being defined
        lineUses[i] = uses;
    }
    std::vector<std::string> operand(n);
    std::map<std::string, std::vector<size_t>> sizeLines; // each symbol's .size lines, in order
    for (size_t i = 0; i < n; ++i) {
        if (word[i].empty() || word[i][0] != '.')
            continue;
        const std::vector<std::string> ops = operandNames(trim(lines[i]));
        if (!ops.empty())
            operand[i] = ops[0];
        if (word[i] == ".size" && !ops.empty())
            sizeLines[ops[0]].push_back(i);
    }
    auto firstOperand = [&](size_t i) -> const std::string& { return operand[i]; };

    // Sections in effect at each line.
    std::vector<std::string> sectionAt(n + 1);
    {
        std::string current = ".text";
        std::vector<std::string> stack;
        std::string previous = ".text";
        for (size_t i = 0; i < n; ++i) {
            sectionAt[i] = current;
            const std::string& d = word[i];
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
        sectionAt[n] = current;
    }

    // The symbols that start blocks: labels that are not local, and names
    // defined by .comm, .lcomm or .set.
    struct Anchor {
        size_t line;
        std::string symbol;
        bool label;
    };
    std::vector<Anchor> anchors;
    for (size_t i = 0; i < n; ++i) {
        const std::string label = labelOf(lines[i]);
        if (!label.empty() && !startsWith(label, ".L"))
            anchors.push_back({i, label, true});
        else if (label.empty() && definesByDirective(word[i]) && !startsWith(firstOperand(i), ".L"))
            anchors.push_back({i, firstOperand(i), false});
    }
    // The directives just before a symbol belong to it: its alignment, its
    // section, and what describes that symbol (.globl, .type, .size, ...).
    auto headerStart = [&](const Anchor& a, size_t floor) {
        size_t h = a.line;
        while (h > floor) {
            const std::string t = trim(lines[h - 1]);
            const std::string& d = word[h - 1];
            const bool belongs = t.empty() || t[0] == '#'
                || (labelOf(lines[h - 1]).empty()
                    && (isSectionDirective(d) || isAlignment(d) || (describesSymbol(d) && firstOperand(h - 1) == a.symbol)));
            if (!belongs)
                break;
            --h;
        }
        return h;
    };
    auto hasSize = [&](const std::string& symbol, size_t from, size_t to) {
        auto found = sizeLines.find(symbol);
        if (found != sizeLines.end())
            for (size_t k : found->second)
                if (k >= from && k < to)
                    return k;
        return std::string::npos;
    };
    auto lastEmitting = [&](size_t from, size_t to) {
        std::string last;
        for (size_t k = from; k < to; ++k)
            if (emits(word[k]))
                last = word[k];
        return last;
    };

    auto makeBlock = [&](size_t from, size_t to, const std::string& symbol) -> Block& {
        Block b;
        b.symbol = symbol;
        b.section = sectionAt[from];
        std::set<std::string> seen;
        for (size_t k = from; k < to; ++k) {
            b.lines.push_back(lines[k]);
            for (const std::string& u : lineUses[k])
                if (seen.insert(u).second)
                    b.uses.push_back(u);
            const std::string label = labelOf(lines[k]);
            if (!label.empty())
                b.defines.push_back(label);
            else if (definesByDirective(word[k]) && !firstOperand(k).empty())
                b.defines.push_back(firstOperand(k));
            if (emits(word[k]) && !removableSection(sectionAt[k]))
                b.root = true;
        }
        // Typed by its .type directive; an untyped label in a code section
        // is code.
        bool typed = false;
        for (size_t k = from; k < to && !symbol.empty(); ++k) {
            const std::vector<std::string> ops = operandNames(trim(lines[k]));
            if (word[k] == ".type" && ops.size() >= 2 && ops[0] == symbol) {
                typed = true;
                b.function = ops[1] == "@function" || ops[1] == "%function" || ops[1] == "STT_FUNC";
            }
        }
        if (!symbol.empty() && !typed) {
            size_t at = from;
            while (at < to && labelOf(lines[at]) != symbol)
                ++at;
            const std::string& section = at < to ? sectionAt[at] : std::string();
            b.function = section == ".text" || section.find(" .text") != std::string::npos
                || section.find("\t.text") != std::string::npos;
        }
        unit.blocks.push_back(b);
        return unit.blocks.back();
    };
    // Lines between symbols, cut at each section switch. A part holding only
    // local labels and data (strings, constants, markers) is kept when
    // something kept uses one of its labels; anything else stays.
    auto makeGap = [&](size_t from, size_t to) {
        size_t start = from;
        for (size_t k = from; k <= to; ++k) {
            if (k < to && !(k > start && isSectionDirective(word[k])))
                continue;
            if (k > start) {
                bool labelled = false;
                bool code = false;
                for (size_t j = start; j < k; ++j) {
                    labelled = labelled || !labelOf(lines[j]).empty();
                    code = code || isInstruction(word[j]);
                }
                Block& b = makeBlock(start, k, std::string());
                b.root = b.root || !labelled || code;
            }
            start = k;
        }
    };

    size_t pos = 0;
    for (size_t a = 0; a < anchors.size();) {
        const Anchor& anchor = anchors[a];
        const size_t h = headerStart(anchor, pos);
        makeGap(pos, h);
        size_t end = anchor.line + 1;
        size_t next = a + 1;
        bool openEnded = false;
        if (anchor.label) {
            const size_t closing = hasSize(anchor.symbol, anchor.line + 1, n);
            if (closing != std::string::npos) {
                // Code up to its .size, with any part split from it (f.cold).
                end = closing + 1;
                while (next < anchors.size() && anchors[next].line < end)
                    ++next;
            } else if (hasSize(anchor.symbol, h, anchor.line) != std::string::npos) {
                // Data sized before its label: what follows up to the next
                // directive that is not data.
                while (end < n && (next >= anchors.size() || end < anchors[next].line)) {
                    const std::string t = trim(lines[end]);
                    const bool data = t.empty() || t[0] == '#' || startsWith(labelOf(lines[end]), ".L") || emits(word[end]);
                    if (!data)
                        break;
                    ++end;
                }
            } else {
                // Without a size, everything up to the next symbol's header.
                end = next < anchors.size() ? headerStart(anchors[next], anchor.line + 1) : n;
                openEnded = true;
            }
        }
        Block& block = makeBlock(h, end, anchor.symbol);
        // Code that may run on into the next symbol keeps it.
        if (openEnded && next < anchors.size() && fallsThrough(lastEmitting(h, end))) {
            bool switches = false;
            for (size_t k = end; k < anchors[next].line; ++k)
                switches = switches || isSectionDirective(word[k]);
            if (!switches)
                block.uses.push_back(anchors[next].symbol);
        }
        pos = end;
        a = next;
    }
    makeGap(pos, n);

    std::set<std::string> external;
    for (const Block& b : unit.blocks)
        for (const std::string& u : b.uses)
            if (!unit.labels.count(u) && u != "_GLOBAL_OFFSET_TABLE_" && external.insert(u).second)
                unit.external.push_back(u);
    // Where each external name is first used, for messages.
    for (size_t i = 0; i < n; ++i)
        for (const std::string& u : lineUses[i])
            if (external.count(u) && !unit.usedAt.count(u))
                unit.usedAt[u] = place[i];
    return unit;
}

ElimResult eliminate(const std::vector<const Unit*>& units, const std::string& entry)
{
    // Where each name is defined: per unit for its own names, globally for
    // what units export (the first definition wins; weak ones give way).
    std::map<std::string, std::pair<size_t, size_t>> globalBlock;
    std::vector<std::map<std::string, size_t>> localBlock(units.size());
    std::vector<std::set<std::string>> exported(units.size());
    for (size_t u = 0; u < units.size(); ++u) {
        exported[u].insert(units[u]->globals.begin(), units[u]->globals.end());
        for (size_t b = 0; b < units[u]->blocks.size(); ++b) {
            for (const std::string& name : units[u]->blocks[b].defines) {
                localBlock[u][name] = b;
                if (exported[u].count(name)
                    && (!globalBlock.count(name)
                        || (units[globalBlock[name].first]->weak.count(name) && !units[u]->weak.count(name))))
                    globalBlock[name] = {u, b};
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
            if (units[u]->blocks[b].root)
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
            // A global the unit defines may be overridden (a weak
            // definition): the definition the link chose is the one used.
            auto local = localBlock[u].find(use);
            auto global = globalBlock.find(use);
            if (global != globalBlock.end() && (exported[u].count(use) || local == localBlock[u].end()))
                mark(global->second.first, global->second.second);
            else if (local != localBlock[u].end())
                mark(u, local->second);
        }
    }

    ElimResult result;
    result.assembly = "# rebuild.s: the program reduced by lintel -elim\n";
    for (size_t u = 0; u < units.size(); ++u) {
        const Unit& unit = *units[u];
        result.assembly += "# lintel: from " + unit.name + "\n";
        // Names whose definition here was left out: what is said about them
        // elsewhere in the unit goes too.
        std::set<std::string> gone;
        for (size_t b = 0; b < unit.blocks.size(); ++b)
            if (!keep[u][b])
                gone.insert(unit.blocks[b].defines.begin(), unit.blocks[b].defines.end());
        for (size_t b = 0; b < unit.blocks.size(); ++b) {
            const Block& block = unit.blocks[b];
            if (block.function)
                ++result.functions;
            if (!keep[u][b]) {
                if (block.function)
                    ++result.removed;
                for (const std::string& l : block.lines) {
                    result.removedBytes += l.size() + 1;
                    // A weak reference to a name nobody defines must stay weak.
                    const std::vector<std::string> ops = operandNames(trim(l));
                    if (firstWord(l) == ".weak" && !ops.empty() && !unit.labels.count(ops[0]))
                        result.assembly += l + "\n";
                }
                continue;
            }
            // The block may have followed a removed one that switched sections.
            result.assembly += "\t" + block.section + "\n";
            for (const std::string& l : block.lines) {
                const std::vector<std::string> ops = operandNames(trim(l));
                if (describesSymbol(firstWord(l)) && !ops.empty() && gone.count(ops[0])) {
                    result.removedBytes += l.size() + 1;
                    continue;
                }
                result.assembly += l + "\n";
            }
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
