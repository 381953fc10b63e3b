#include "Assembly.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace Lintel {

size_t findBlank(std::string_view s, size_t from)
{
    for (size_t i = from; i < s.size(); ++i)
        if (s[i] == ' ' || s[i] == '\t')
            return i;
    return std::string_view::npos;
}

bool isNameStart(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.';
}

bool isNameChar(char c)
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '$';
}

std::string_view labelOf(std::string_view raw)
{
    if (raw.empty() || !isNameStart(raw[0]))
        return std::string_view();
    size_t end = 1;
    while (end < raw.size() && isNameChar(raw[end]))
        ++end;
    return end < raw.size() && raw[end] == ':' ? raw.substr(0, end) : std::string_view();
}

std::string_view firstWord(std::string_view raw)
{
    const std::string_view label = labelOf(raw);
    const std::string_view rest = trim(label.empty() ? raw : raw.substr(label.size() + 1));
    return rest.substr(0, findBlank(rest));
}

bool nextWord(std::string_view text, size_t& pos, std::string_view& word)
{
    auto separator = [](char c) { return c == ',' || c == ' ' || c == '\t'; };
    while (pos < text.size() && separator(text[pos]))
        ++pos;
    if (pos >= text.size())
        return false;
    const size_t start = pos;
    while (pos < text.size() && !separator(text[pos]))
        ++pos;
    word = text.substr(start, pos - start);
    return true;
}

std::string_view wordAt(std::string_view text, size_t index)
{
    std::string_view word;
    for (size_t pos = 0, i = 0; nextWord(text, pos, word); ++i)
        if (i == index)
            return word;
    return std::string_view();
}

std::string_view operandAt(std::string_view line, size_t index)
{
    const size_t space = findBlank(line);
    return space == std::string_view::npos ? std::string_view() : wordAt(line.substr(space), index);
}

bool isLocalLabel(std::string_view name)
{
    return name.starts_with(".L");
}

namespace {

// The section a trimmed directive line switches to, or empty when it is no
// section directive. "?" stands for ".previous"/".popsection" (back to the
// last one).
std::string_view sectionOf(std::string_view line)
{
    for (std::string_view plain : {".text", ".data", ".bss"})
        if (line == plain || (line.starts_with(plain) && line.size() > plain.size() && line[plain.size()] == ' '))
            return plain;
    if (line.starts_with(".section") || line.starts_with(".pushsection"))
        return operandAt(line, 0);
    if (line == ".previous" || line == ".popsection")
        return "?";
    return std::string_view();
}

// Appends `line` to `out` with the unit suffix after every local label
// outside string literals.
void renameLocalLabels(std::string_view line, std::string_view suffix, std::string& out)
{
    size_t copied = 0;
    for (size_t i = 0; i < line.size();) {
        if (line[i] == '"') {
            i = ToolText::stringEnd(line, i);
            continue;
        }
        const bool starts = line[i] == '.' && i + 1 < line.size() && line[i + 1] == 'L'
            && (i == 0 || !isNameChar(line[i - 1]));
        if (!starts) {
            ++i;
            continue;
        }
        size_t end = i + 2;
        while (end < line.size() && isNameChar(line[end]))
            ++end;
        out.append(line.substr(copied, end - copied));
        out.append(suffix);
        copied = i = end;
    }
    out.append(line.substr(copied));
}

} // namespace

std::vector<Symbol> fileSymbols(std::string_view text)
{
    std::unordered_set<std::string_view> globals;
    std::vector<Symbol> found;
    std::unordered_map<std::string_view, size_t> foundAt;
    auto note = [&](std::string_view name, const char* kind) {
        auto [at, added] = foundAt.emplace(name, found.size());
        if (added)
            found.push_back({std::string(name), kind});
        else if (found[at->second].kind == "label")
            found[at->second].kind = kind;
    };
    std::vector<std::string_view> labels;
    std::string_view raw;
    for (size_t pos = 0; ToolText::nextLine(text, pos, raw);) {
        const std::string_view line = trim(raw);
        if (line.starts_with(".globl") || line.starts_with(".global")) {
            const size_t space = findBlank(line);
            std::string_view name;
            for (size_t at = space; space != std::string_view::npos && nextWord(line, at, name);)
                globals.insert(name);
        } else if (line.starts_with(".type")) {
            const std::string_view t = wordAt(line.substr(5), 1);
            if (t == "@function" || t == "%function" || t == "STT_FUNC")
                note(wordAt(line.substr(5), 0), "function");
            else if (t == "@object" || t == "%object" || t == "STT_OBJECT")
                note(wordAt(line.substr(5), 0), "object");
        } else if (!raw.empty() && raw[0] != ' ' && raw[0] != '\t' && raw[0] != '.' && raw[0] != '#') {
            const size_t colon = raw.find(':');
            if (colon != std::string_view::npos && colon > 0 && raw.find_first_of(" \t\"") > colon)
                labels.push_back(raw.substr(0, colon));
        }
    }
    for (std::string_view l : labels)
        if (globals.count(l))
            note(l, "label");
    return found;
}

void addSymbols(const std::vector<Symbol>& found, std::vector<Symbol>& symbols)
{
    // The views stay valid: nothing is moved while they are taken.
    symbols.reserve(symbols.size() + found.size());
    std::unordered_set<std::string_view> listed;
    for (const Symbol& s : symbols)
        listed.insert(s.name);
    for (const Symbol& s : found)
        if (listed.insert(s.name).second)
            symbols.push_back(s);
}

Reduced reduceAssembly(const std::vector<std::string_view>& lines, int unit)
{
    const std::string suffix = "." + std::to_string(unit);
    Reduced out;
    std::string_view section = ".text";
    std::string_view previous = ".text";
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string_view line = trim(lines[index]);
        const std::string_view target = sectionOf(line);
        if (!target.empty()) {
            const std::string_view next = target == "?" ? previous : target;
            previous = section;
            section = next;
        }
        if (section.starts_with(".debug") || (target == "?" && previous.starts_with(".debug")))
            continue;
        const std::string_view directive = line.substr(0, findBlank(line));
        if (directive == ".loc" || directive == ".loc_mark_labels" || directive == ".file" || directive == ".ident"
            || directive.starts_with(".cfi_"))
            continue;
        renameLocalLabels(lines[index], suffix, out.text);
        out.text += '\n';
        out.origin.push_back(static_cast<uint32_t>(index));
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
std::vector<std::string> quotedStrings(std::string_view line)
{
    std::vector<std::string> out;
    for (size_t i = line.find('"'); i != std::string_view::npos;) {
        const size_t end = ToolText::stringEnd(line, i);
        std::string text;
        for (size_t k = i + 1; k < end && line[k] != '"'; ++k) {
            if (line[k] != '\\' || k + 1 >= end) {
                text += line[k];
                continue;
            }
            ++k;
            int value = 0;
            int digits = 0;
            while (digits < 3 && k < end && line[k] >= '0' && line[k] <= '7')
                value = value * 8 + (line[k++] - '0'), ++digits;
            if (digits > 0) {
                text += static_cast<char>(value);
                --k;
            } else {
                text += line[k];
            }
        }
        out.push_back(text);
        i = line.find('"', end);
    }
    return out;
}

// The number in word `index` of a line (".loc 1 6 5" gives 1 for word 1),
// or -1.
long numberAt(std::string_view line, size_t index)
{
    const std::string_view word = wordAt(line, index);
    if (word.empty() || word.size() > 9)
        return -1;
    long value = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string_view directiveOf(std::string_view raw)
{
    const std::string_view line = trim(raw);
    return line.substr(0, findBlank(line));
}

// Whether a line ends the code a .loc placed: a symbol's label or a section
// switch.
bool endsRun(std::string_view raw)
{
    const std::string_view label = labelOf(raw);
    return (!label.empty() && !isLocalLabel(label)) || !sectionOf(trim(raw)).empty();
}

} // namespace

SourceMap::SourceMap(const std::vector<std::string_view>& lines, const std::string& path, bool numbered)
    : m_files{path, path}
{
    placeLines(lines, readFileNames(lines), numbered);
}

Location SourceMap::at(size_t line) const
{
    const Place& p = m_places[line];
    return {m_files[p.file], p.line};
}

// The file table of the .file lines, by the compiler's file numbers; the
// main source becomes entry 0.
std::map<long, uint32_t> SourceMap::readFileNames(const std::vector<std::string_view>& lines)
{
    std::map<long, uint32_t> numbered;
    std::string unnumbered;
    for (std::string_view raw : lines) {
        const std::string_view directive = directiveOf(raw);
        if (directive == ".loc")
            m_lineInfo = true;
        if (directive != ".file")
            continue;
        const std::string_view line = trim(raw);
        const std::vector<std::string> names = quotedStrings(line);
        const long number = numberAt(line, 1);
        if (names.empty())
            continue;
        m_lineInfo = m_lineInfo || number >= 0;
        if (number < 0) {
            unnumbered = names[0];
            continue;
        }
        // Entry 0 is the main source as the compiler was given it, with the
        // compiler's directory first; others may be relative to a directory
        // given with them.
        std::string name = number == 0 || names.size() < 2 || names[0].empty() || names[1].empty() || names[1][0] == '/'
            ? names.back()
            : names[0] + "/" + names[1];
        auto [at, added] = numbered.emplace(number, static_cast<uint32_t>(m_files.size()));
        if (added)
            m_files.push_back(std::move(name));
        else
            m_files[at->second] = std::move(name);
    }
    if (numbered.count(0))
        m_files[0] = m_files[numbered[0]];
    else if (!numbered.empty())
        m_files[0] = m_files[numbered.begin()->second];
    else if (!unnumbered.empty())
        m_files[0] = unnumbered;
    return numbered;
}

void SourceMap::placeLines(const std::vector<std::string_view>& lines, const std::map<long, uint32_t>& numbered,
                           bool numberedLines)
{
    m_places.resize(lines.size());
    Place current{0, 0};
    bool valid = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (directiveOf(lines[i]) == ".loc") {
            const std::string_view line = trim(lines[i]);
            auto file = numbered.find(numberAt(line, 1));
            const long number = numberAt(line, 2);
            current = {file == numbered.end() ? 0 : file->second, static_cast<int32_t>(std::max(number, 0L))};
            valid = number > 0;
        } else if (endsRun(lines[i])) {
            valid = false;
        }
        if (valid)
            m_places[i] = current;
        else if (m_lineInfo)
            m_places[i] = {0, 0};
        else
            m_places[i] = {1, numberedLines ? static_cast<int32_t>(i + 1) : 0};
    }
    if (!m_lineInfo)
        return;
    // A label starts where the code after it starts.
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view label = labelOf(lines[i]);
        if (label.empty() || isLocalLabel(label))
            continue;
        for (size_t k = i + 1; k < lines.size() && !endsRun(lines[k]); ++k) {
            if (directiveOf(lines[k]) == ".loc") {
                m_places[i] = m_places[k];
                break;
            }
        }
    }
}

} // namespace Lintel
