#include "Assembly.h"

#include <map>
#include <set>

namespace Lintel {

std::string trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return std::string();
    const size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos)
            nl = text.size();
        out.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return out;
}

namespace {

// The names after a directive, split at commas and blanks.
std::vector<std::string> operands(const std::string& rest)
{
    std::vector<std::string> out;
    std::string cur;
    for (char c : rest) {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!cur.empty())
                out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        out.push_back(cur);
    return out;
}

// The section a directive switches to, or empty when it is no section
// directive. "?" stands for ".previous"/".popsection" (back to the last one).
std::string sectionOf(const std::string& line)
{
    if (line == ".text" || startsWith(line, ".text "))
        return ".text";
    if (line == ".data" || startsWith(line, ".data "))
        return ".data";
    if (line == ".bss" || startsWith(line, ".bss "))
        return ".bss";
    if (startsWith(line, ".section") || startsWith(line, ".pushsection")) {
        const size_t space = line.find_first_of(" \t");
        if (space == std::string::npos)
            return std::string();
        std::vector<std::string> ops = operands(line.substr(space));
        return ops.empty() ? std::string() : ops[0];
    }
    if (line == ".previous" || line == ".popsection")
        return "?";
    return std::string();
}

bool isSymbolChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.'
        || c == '$';
}

// Appends the unit suffix to every local label outside string literals.
std::string renameLocalLabels(const std::string& line, const std::string& suffix)
{
    std::string out;
    bool inString = false;
    for (size_t i = 0; i < line.size();) {
        const char c = line[i];
        if (inString) {
            out += c;
            if (c == '\\' && i + 1 < line.size())
                out += line[++i];
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
        const bool starts = c == '.' && i + 1 < line.size() && line[i + 1] == 'L' && (i == 0 || !isSymbolChar(line[i - 1]));
        if (!starts) {
            out += c;
            ++i;
            continue;
        }
        size_t end = i + 2;
        while (end < line.size() && isSymbolChar(line[end]))
            ++end;
        out += line.substr(i, end - i) + suffix;
        i = end;
    }
    return out;
}

} // namespace

void scanSymbols(const std::string& text, std::vector<Symbol>& symbols)
{
    std::set<std::string> globals;
    std::vector<Symbol> found;
    std::map<std::string, size_t> foundAt;
    auto note = [&](const std::string& name, const std::string& kind) {
        auto at = foundAt.find(name);
        if (at != foundAt.end()) {
            if (found[at->second].kind == "label")
                found[at->second].kind = kind;
            return;
        }
        foundAt[name] = found.size();
        found.push_back({name, kind});
    };
    std::vector<std::string> labels;
    for (const std::string& raw : splitLines(text)) {
        const std::string line = trim(raw);
        if (startsWith(line, ".globl") || startsWith(line, ".global")) {
            const size_t space = line.find_first_of(" \t");
            if (space != std::string::npos)
                for (const std::string& n : operands(line.substr(space)))
                    globals.insert(n);
        } else if (startsWith(line, ".type")) {
            std::vector<std::string> ops = operands(line.substr(5));
            if (ops.size() >= 2) {
                const std::string& t = ops[1];
                if (t == "@function" || t == "%function" || t == "STT_FUNC")
                    note(ops[0], "function");
                else if (t == "@object" || t == "%object" || t == "STT_OBJECT")
                    note(ops[0], "object");
            }
        } else if (!raw.empty() && raw[0] != ' ' && raw[0] != '\t' && raw[0] != '.' && raw[0] != '#') {
            const size_t colon = raw.find(':');
            if (colon != std::string::npos && colon > 0
                && raw.find_first_of(" \t\"") > colon)
                labels.push_back(raw.substr(0, colon));
        }
    }
    for (const std::string& l : labels)
        if (globals.count(l))
            note(l, "label");
    std::set<std::string> listed;
    for (const Symbol& s : symbols)
        listed.insert(s.name);
    for (const Symbol& s : found)
        if (listed.insert(s.name).second)
            symbols.push_back(s);
}

std::string reduceAssembly(const std::string& text, int unit)
{
    const std::string suffix = "." + std::to_string(unit);
    std::string out;
    std::string section = ".text";
    std::string previous = ".text";
    for (const std::string& raw : splitLines(text)) {
        const std::string line = trim(raw);
        const std::string target = sectionOf(line);
        if (!target.empty()) {
            const std::string next = target == "?" ? previous : target;
            previous = section;
            section = next;
        }
        if (startsWith(section, ".debug"))
            continue;
        if (!target.empty() && target == "?" && startsWith(previous, ".debug"))
            continue;
        const std::string directive = line.substr(0, line.find_first_of(" \t"));
        if (directive == ".loc" || directive == ".loc_mark_labels" || directive == ".file" || directive == ".ident"
            || startsWith(directive, ".cfi_"))
            continue;
        out += renameLocalLabels(raw, suffix);
        out += '\n';
    }
    return out;
}

} // namespace Lintel
