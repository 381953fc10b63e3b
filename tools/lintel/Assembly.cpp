#include "Assembly.h"

#include <algorithm>
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

std::string labelOf(const std::string& raw)
{
    auto start = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.'; };
    if (raw.empty() || !start(raw[0]))
        return std::string();
    size_t end = 1;
    while (end < raw.size() && (start(raw[end]) || (raw[end] >= '0' && raw[end] <= '9') || raw[end] == '$'))
        ++end;
    return end < raw.size() && raw[end] == ':' ? raw.substr(0, end) : std::string();
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

std::string reduceAssembly(const std::string& text, int unit, std::vector<size_t>* origin)
{
    const std::string suffix = "." + std::to_string(unit);
    std::string out;
    std::string section = ".text";
    std::string previous = ".text";
    const std::vector<std::string> lines = splitLines(text);
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string& raw = lines[index];
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
        if (origin)
            origin->push_back(index);
    }
    return out;
}

std::string describe(const Location& where)
{
    return where.line > 0 ? where.file + ":" + std::to_string(where.line) : where.file;
}

namespace {

// The quoted strings of a line, with the escapes the compiler writes
// (\\, \" and octal bytes) undone.
std::vector<std::string> quotedStrings(const std::string& line)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '"')
            continue;
        std::string text;
        for (++i; i < line.size() && line[i] != '"'; ++i) {
            if (line[i] != '\\' || i + 1 >= line.size()) {
                text += line[i];
                continue;
            }
            ++i;
            int value = 0;
            int digits = 0;
            while (digits < 3 && i < line.size() && line[i] >= '0' && line[i] <= '7')
                value = value * 8 + (line[i++] - '0'), ++digits;
            if (digits > 0) {
                text += static_cast<char>(value);
                --i;
            } else {
                text += line[i];
            }
        }
        out.push_back(text);
    }
    return out;
}

// The number after a directive (".loc 1 6 5" gives 1 for word 1), or -1.
long numberAt(const std::string& line, size_t word)
{
    const std::vector<std::string> words = operands(line);
    if (word >= words.size() || words[word].find_first_not_of("0123456789") != std::string::npos
        || words[word].size() > 9)
        return -1;
    return std::stol(words[word]);
}

} // namespace

std::vector<Location> sourceLocations(const std::string& text, const std::string& path, bool numbered)
{
    const std::vector<std::string> lines = splitLines(text);
    std::map<long, std::string> files;
    std::string unnumbered;
    bool lineInfo = false;
    std::vector<std::string> directive(lines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = trim(lines[i]);
        directive[i] = line.substr(0, line.find_first_of(" \t"));
        if (directive[i] == ".loc") {
            lineInfo = true;
        } else if (directive[i] == ".file") {
            const std::vector<std::string> names = quotedStrings(line);
            const long number = numberAt(line, 1);
            if (names.empty())
                continue;
            lineInfo = lineInfo || number >= 0;
            // Entry 0 is the main source as the compiler was given it, with
            // the compiler's directory first; others may be relative to a
            // directory given with them.
            if (number < 0)
                unnumbered = names[0];
            else if (number == 0 || names.size() < 2 || names[0].empty() || names[1].empty() || names[1][0] == '/')
                files[number] = names.back();
            else
                files[number] = names[0] + "/" + names[1];
        }
    }
    std::string main = path;
    if (files.count(0))
        main = files[0];
    else if (!files.empty())
        main = files.begin()->second;
    else if (!unnumbered.empty())
        main = unnumbered;
    auto fallback = [&](size_t i) {
        return lineInfo ? Location{main, 0} : Location{path, numbered ? static_cast<int>(i + 1) : 0};
    };
    auto endsRun = [&](size_t i) {
        const std::string label = labelOf(lines[i]);
        return (!label.empty() && !startsWith(label, ".L")) || !sectionOf(trim(lines[i])).empty();
    };

    std::vector<Location> out(lines.size());
    Location current;
    bool valid = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (directive[i] == ".loc") {
            const long file = numberAt(trim(lines[i]), 1);
            const long line = numberAt(trim(lines[i]), 2);
            auto name = files.find(file);
            current = {name == files.end() ? main : name->second, static_cast<int>(std::max(line, 0L))};
            valid = line > 0;
        } else if (endsRun(i)) {
            valid = false;
        }
        out[i] = valid ? current : fallback(i);
    }
    // A label starts where the code after it starts.
    if (lineInfo) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string label = labelOf(lines[i]);
            if (label.empty() || startsWith(label, ".L"))
                continue;
            for (size_t k = i + 1; k < lines.size() && !endsRun(k); ++k) {
                if (directive[k] == ".loc") {
                    out[i] = out[k];
                    break;
                }
            }
        }
    }
    return out;
}

} // namespace Lintel
