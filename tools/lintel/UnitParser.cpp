// Cutting one unit into blocks: its lines are reduced, renamed and split
// into the blocks dead-code elimination keeps or removes.

#include "Directives.h"
#include "Linker.h"

#include <unordered_map>

namespace Lintel {

namespace {

using Renames = std::unordered_map<std::string_view, std::string>;

// A name in text still being written; it becomes a view once the text is
// complete.
struct Span {
    uint32_t at;
    uint32_t size;
};

// Appends `raw` to `out` with statics renamed, walking its names outside
// strings and comments. With `collect`, each name in a position that uses a
// symbol goes to `uses` once (those from `firstUse` on are this line's).
void rewriteLine(std::string_view raw, const Renames& rename, bool collect, std::string& out, std::vector<Span>& uses,
                 size_t firstUse)
{
    auto renamed = [&rename](std::string_view name) {
        auto r = rename.find(name);
        return r == rename.end() ? name : std::string_view(r->second);
    };
    const std::string_view label = labelOf(raw);
    size_t i = 0;
    if (!label.empty()) {
        out += renamed(label);
        out += ':';
        i = label.size() + 1;
    }
    // The directive or mnemonic itself is no use of a name, nor is a prefix
    // such as "rep" or "lock" before it.
    for (;;) {
        while (i < raw.size() && (raw[i] == ' ' || raw[i] == '\t'))
            ++i;
        const size_t wordStart = i;
        while (i < raw.size() && raw[i] != ' ' && raw[i] != '\t')
            ++i;
        if (!isPrefix(raw.substr(wordStart, i - wordStart)))
            break;
    }
    size_t copied = label.empty() ? 0 : label.size() + 1;
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '"') {
            i = ToolText::stringEnd(raw, i);
            continue;
        }
        if (c == '#') // a comment to the end of the line
            break;
        if (c >= '0' && c <= '9') { // numbers, and numeric local labels like 1b
            while (i < raw.size() && isNameChar(raw[i]))
                ++i;
            continue;
        }
        if (!isNameStart(c)) {
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < raw.size() && isNameChar(raw[end]))
            ++end;
        const std::string_view name = raw.substr(i, end - i);
        const char before = i > 0 ? raw[i - 1] : ' ';
        out.append(raw.substr(copied, i - copied));
        const Span used{static_cast<uint32_t>(out.size()), 0};
        out += renamed(name);
        copied = i = end;
        if (!collect || before == '%' || before == '@' || name == ".")
            continue;
        const std::string_view text(out.data() + used.at, out.size() - used.at);
        bool seen = false;
        for (size_t u = firstUse; u < uses.size() && !seen; ++u)
            seen = text == std::string_view(out.data() + uses[u].at, uses[u].size);
        if (!seen)
            uses.push_back({used.at, static_cast<uint32_t>(text.size())});
    }
    out.append(raw.substr(copied));
}

// What a unit's lines define and export.
struct Definitions {
    std::vector<std::pair<std::string_view, size_t>> defined; // in order, each once, with its line
    std::unordered_set<std::string_view> names;               // the same names
    std::unordered_set<std::string_view> globals;
    std::unordered_set<std::string_view> weak;
};

Definitions collectDefinitions(const std::vector<std::string_view>& lines)
{
    Definitions d;
    auto define = [&d](std::string_view name, size_t line) {
        if (d.names.insert(name).second)
            d.defined.push_back({name, line});
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view label = labelOf(lines[i]);
        if (!label.empty())
            define(label, i);
        const std::string_view word = firstWord(lines[i]);
        const std::string_view rest = trim(lines[i].substr(label.empty() ? 0 : label.size() + 1));
        if (word == ".globl" || word == ".global" || word == ".weak") {
            std::string_view name;
            for (size_t pos = findBlank(rest); pos != std::string_view::npos && nextWord(rest, pos, name);) {
                d.globals.insert(name);
                if (word == ".weak")
                    d.weak.insert(name);
            }
        } else if (definesByDirective(word) && !operandAt(rest, 0).empty()) {
            define(operandAt(rest, 0), i);
        }
    }
    return d;
}

// One unit while it is cut into blocks: its lines, what each one is, and
// the section in effect at each.
class UnitParser {
public:
    UnitParser(const std::string& name, int number);
    void rewrite(const Reduced& reduced);
    void define(const std::vector<uint32_t>& origin, const SourceMap& sources);
    void describeLines();
    void trackSections();
    void findAnchors();
    void cutBlocks();
    void findExternals(const std::vector<uint32_t>& origin, const SourceMap& sources);
    Unit take() { return std::move(m_unit); }

private:
    struct Anchor {
        size_t line;
        std::string_view symbol;
        bool label;
    };
    struct Section {
        std::string_view directive;
        bool removable;
    };
    size_t headerStart(const Anchor& a, size_t floor) const;
    size_t hasSize(std::string_view symbol, size_t from, size_t to) const;
    std::string_view lastEmitting(size_t from, size_t to) const;
    size_t blockEnd(size_t a, size_t header, size_t& next, bool& openEnded) const;
    Block& makeBlock(size_t from, size_t to, std::string_view symbol);
    bool isFunction(size_t from, size_t to, std::string_view symbol) const;
    void makeGaps(size_t from, size_t to);
    std::string_view usesOf(size_t line, size_t k) const { return m_uses[m_usesStart[line] + k]; }
    size_t useCount(size_t line) const { return m_usesStart[line + 1] - m_usesStart[line]; }

    Unit m_unit;
    std::shared_ptr<UnitText> m_text;
    std::string m_suffix;
    std::vector<std::string_view> m_lines;
    std::vector<std::string_view> m_uses;  // each line's uses, line after line
    std::vector<uint32_t> m_usesStart;     // where each line's uses start in m_uses
    std::vector<std::string_view> m_word;    // directive or mnemonic
    std::vector<std::string_view> m_operand; // a directive's first operand
    std::unordered_map<std::string_view, std::vector<size_t>> m_sizeLines; // each symbol's .size lines
    std::vector<Section> m_sections;
    std::vector<uint32_t> m_sectionAt;
    std::vector<Anchor> m_anchors;
};

UnitParser::UnitParser(const std::string& name, int number)
    : m_text(std::make_shared<UnitText>())
    , m_suffix("." + std::to_string(number))
{
    m_unit.name = name;
    m_unit.text = m_text;
}

// Renames the statics (names defined here and not exported) and collects
// what each line uses.
void UnitParser::rewrite(const Reduced& reduced)
{
    const std::vector<std::string_view> lines = ToolText::lines(reduced.text);
    const Definitions defs = collectDefinitions(lines);
    Renames rename;
    for (const auto& [n, line] : defs.defined)
        if (!defs.globals.count(n) && !isLocalLabel(n))
            rename.emplace(n, std::string(n) + m_suffix);
    std::string& out = m_text->lines;
    out.reserve(reduced.text.size() + reduced.text.size() / 8);
    std::vector<Span> uses;
    std::vector<uint32_t> lineStart;
    m_usesStart.reserve(lines.size() + 1);
    lineStart.reserve(lines.size() + 1);
    for (std::string_view line : lines) {
        const std::string_view d = firstWord(line);
        const bool collect = !d.empty() && d[0] != '#' && (d[0] != '.' || directiveUses(d));
        const size_t first = uses.size();
        m_usesStart.push_back(static_cast<uint32_t>(first));
        lineStart.push_back(static_cast<uint32_t>(out.size()));
        rewriteLine(line, rename, collect, out, uses, first);
        if (definesByDirective(d) && uses.size() > first)
            uses.erase(uses.begin() + static_cast<std::ptrdiff_t>(first)); // the name being defined
        out += '\n';
    }
    m_usesStart.push_back(static_cast<uint32_t>(uses.size()));
    lineStart.push_back(static_cast<uint32_t>(out.size()));
    const std::string_view text(out);
    m_lines.reserve(lines.size());
    for (size_t i = 0; i + 1 < lineStart.size(); ++i)
        m_lines.push_back(text.substr(lineStart[i], lineStart[i + 1] - lineStart[i] - 1));
    m_uses.reserve(uses.size());
    for (const Span& s : uses)
        m_uses.push_back(text.substr(s.at, s.size));
}

// What the unit defines and exports, now under their unique names.
void UnitParser::define(const std::vector<uint32_t>& origin, const SourceMap& sources)
{
    Definitions defs = collectDefinitions(m_lines);
    for (const auto& [n, line] : defs.defined) {
        if (defs.globals.count(n)) {
            m_unit.globals.push_back(n);
            m_unit.definedAt[n] = sources.at(origin[line]);
        }
    }
    m_unit.labels = std::move(defs.names);
    m_unit.weak = std::move(defs.weak);
}

void UnitParser::describeLines()
{
    const size_t n = m_lines.size();
    m_word.resize(n);
    m_operand.resize(n);
    for (size_t i = 0; i < n; ++i) {
        m_word[i] = firstWord(m_lines[i]);
        if (m_word[i].empty() || m_word[i][0] != '.')
            continue;
        m_operand[i] = operandAt(trim(m_lines[i]), 0);
        if (m_word[i] == ".size" && !m_operand[i].empty())
            m_sizeLines[m_operand[i]].push_back(i);
    }
}

void UnitParser::trackSections()
{
    const size_t n = m_lines.size();
    m_sectionAt.resize(n + 1);
    auto add = [this](std::string_view directive) {
        m_sections.push_back({directive, removableSection(directive)});
        return static_cast<uint32_t>(m_sections.size() - 1);
    };
    uint32_t current = add(".text");
    uint32_t previous = current;
    std::vector<uint32_t> stack;
    for (size_t i = 0; i < n; ++i) {
        m_sectionAt[i] = current;
        const std::string_view d = m_word[i];
        if (!isSectionDirective(d))
            continue;
        const std::string_view t = trim(m_lines[i]);
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
            if (d == ".pushsection")
                current = add(m_text->made.emplace_back(".section" + std::string(t.substr(d.size()))));
            else
                current = add(t);
        }
    }
    m_sectionAt[n] = current;
}

// The symbols that start blocks: labels that are not local, and names
// defined by .comm, .lcomm or .set.
void UnitParser::findAnchors()
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const std::string_view label = labelOf(m_lines[i]);
        if (!label.empty() && !isLocalLabel(label))
            m_anchors.push_back({i, label, true});
        else if (label.empty() && definesByDirective(m_word[i]) && !isLocalLabel(m_operand[i]))
            m_anchors.push_back({i, m_operand[i], false});
    }
}

// The directives just before a symbol belong to it: its alignment, its
// section, and what describes that symbol (.globl, .type, .size, ...).
size_t UnitParser::headerStart(const Anchor& a, size_t floor) const
{
    size_t h = a.line;
    while (h > floor) {
        const std::string_view t = trim(m_lines[h - 1]);
        const std::string_view d = m_word[h - 1];
        const bool belongs = t.empty() || t[0] == '#'
            || (labelOf(m_lines[h - 1]).empty()
                && (isSectionDirective(d) || isAlignment(d) || (describesSymbol(d) && m_operand[h - 1] == a.symbol)));
        if (!belongs)
            break;
        --h;
    }
    return h;
}

size_t UnitParser::hasSize(std::string_view symbol, size_t from, size_t to) const
{
    auto found = m_sizeLines.find(symbol);
    if (found != m_sizeLines.end())
        for (size_t k : found->second)
            if (k >= from && k < to)
                return k;
    return std::string::npos;
}

std::string_view UnitParser::lastEmitting(size_t from, size_t to) const
{
    std::string_view last;
    for (size_t k = from; k < to; ++k)
        if (emits(m_word[k]))
            last = m_word[k];
    return last;
}

// Typed by its .type directive; an untyped label in a code section is code.
bool UnitParser::isFunction(size_t from, size_t to, std::string_view symbol) const
{
    bool typed = false;
    bool function = false;
    for (size_t k = from; k < to; ++k) {
        if (m_word[k] != ".type" || m_operand[k] != symbol)
            continue;
        const std::string_view kind = operandAt(trim(m_lines[k]), 1);
        if (kind.empty())
            continue;
        typed = true;
        function = kind == "@function" || kind == "%function" || kind == "STT_FUNC";
    }
    if (typed)
        return function;
    size_t at = from;
    while (at < to && labelOf(m_lines[at]) != symbol)
        ++at;
    const std::string_view section = at < to ? m_sections[m_sectionAt[at]].directive : std::string_view();
    return section == ".text" || section.find(" .text") != std::string_view::npos
        || section.find("\t.text") != std::string_view::npos;
}

Block& UnitParser::makeBlock(size_t from, size_t to, std::string_view symbol)
{
    Block& b = m_unit.blocks.emplace_back();
    b.symbol = symbol;
    b.section = m_sections[m_sectionAt[from]].directive;
    if (to > from) {
        const char* end = m_lines[to - 1].data() + m_lines[to - 1].size() + 1; // past the line feed
        b.text = std::string_view(m_lines[from].data(), static_cast<size_t>(end - m_lines[from].data()));
    }
    std::unordered_set<std::string_view> seen;
    for (size_t k = from; k < to; ++k) {
        for (size_t u = 0; u < useCount(k); ++u)
            if (seen.insert(usesOf(k, u)).second)
                b.uses.push_back(usesOf(k, u));
        const std::string_view label = labelOf(m_lines[k]);
        if (!label.empty())
            b.defines.push_back(label);
        else if (definesByDirective(m_word[k]) && !m_operand[k].empty())
            b.defines.push_back(m_operand[k]);
        if (emits(m_word[k]) && !m_sections[m_sectionAt[k]].removable)
            b.root = true;
    }
    if (!symbol.empty())
        b.function = isFunction(from, to, symbol);
    return b;
}

// Lines between symbols, cut at each section switch. A part holding only
// local labels and data (strings, constants, markers) is kept when
// something kept uses one of its labels; anything else stays.
void UnitParser::makeGaps(size_t from, size_t to)
{
    size_t start = from;
    for (size_t k = from; k <= to; ++k) {
        if (k < to && !(k > start && isSectionDirective(m_word[k])))
            continue;
        if (k > start) {
            bool labelled = false;
            bool code = false;
            for (size_t j = start; j < k; ++j) {
                labelled = labelled || !labelOf(m_lines[j]).empty();
                code = code || isInstruction(m_word[j]);
            }
            Block& b = makeBlock(start, k, std::string_view());
            b.root = b.root || !labelled || code;
        }
        start = k;
    }
}

// Where the block of anchor `a`, whose header starts at `header`, ends;
// `next` becomes the first anchor after it, and `openEnded` tells that
// nothing but the next symbol ended it.
size_t UnitParser::blockEnd(size_t a, size_t header, size_t& next, bool& openEnded) const
{
    const Anchor& anchor = m_anchors[a];
    const size_t n = m_lines.size();
    next = a + 1;
    openEnded = false;
    if (!anchor.label)
        return anchor.line + 1;
    const size_t closing = hasSize(anchor.symbol, anchor.line + 1, n);
    if (closing != std::string::npos) {
        // Code up to its .size, with any part split from it (f.cold).
        while (next < m_anchors.size() && m_anchors[next].line < closing + 1)
            ++next;
        return closing + 1;
    }
    if (hasSize(anchor.symbol, header, anchor.line) == std::string::npos) {
        // Without a size, everything up to the next symbol's header.
        openEnded = true;
        return next < m_anchors.size() ? headerStart(m_anchors[next], anchor.line + 1) : n;
    }
    // Data sized before its label: what follows up to the next directive
    // that is not data.
    size_t end = anchor.line + 1;
    while (end < n && (next >= m_anchors.size() || end < m_anchors[next].line)) {
        const std::string_view t = trim(m_lines[end]);
        if (!(t.empty() || t[0] == '#' || isLocalLabel(labelOf(m_lines[end])) || emits(m_word[end])))
            break;
        ++end;
    }
    return end;
}

void UnitParser::cutBlocks()
{
    size_t pos = 0;
    for (size_t a = 0; a < m_anchors.size();) {
        const size_t h = headerStart(m_anchors[a], pos);
        makeGaps(pos, h);
        size_t next = 0;
        bool openEnded = false;
        const size_t end = blockEnd(a, h, next, openEnded);
        Block& block = makeBlock(h, end, m_anchors[a].symbol);
        // Code that may run on into the next symbol keeps it.
        if (openEnded && next < m_anchors.size() && fallsThrough(lastEmitting(h, end))) {
            bool switches = false;
            for (size_t k = end; k < m_anchors[next].line; ++k)
                switches = switches || isSectionDirective(m_word[k]);
            if (!switches)
                block.uses.push_back(m_anchors[next].symbol);
        }
        pos = end;
        a = next;
    }
    makeGaps(pos, m_lines.size());
}

void UnitParser::findExternals(const std::vector<uint32_t>& origin, const SourceMap& sources)
{
    std::unordered_set<std::string_view> external;
    for (const Block& b : m_unit.blocks)
        for (std::string_view u : b.uses)
            if (!m_unit.labels.count(u) && u != "_GLOBAL_OFFSET_TABLE_" && external.insert(u).second)
                m_unit.external.push_back(u);
    // Where each external name is first used, for messages.
    for (size_t i = 0; i < m_lines.size(); ++i)
        for (size_t u = 0; u < useCount(i); ++u)
            if (external.count(usesOf(i, u)) && !m_unit.usedAt.count(usesOf(i, u)))
                m_unit.usedAt[usesOf(i, u)] = sources.at(origin[i]);
}

} // namespace

Unit parseUnit(const std::string& name, std::string_view text, int number, const std::string& path)
{
    const std::vector<std::string_view> lines = ToolText::lines(text);
    const Reduced reduced = reduceAssembly(lines, number);
    const SourceMap sources(lines, path.empty() ? name : path, !path.empty());
    UnitParser parser(name, number);
    parser.rewrite(reduced);
    parser.define(reduced.origin, sources);
    parser.describeLines();
    parser.trackSections();
    parser.findAnchors();
    parser.cutBlocks();
    parser.findExternals(reduced.origin, sources);
    return parser.take();
}

} // namespace Lintel
