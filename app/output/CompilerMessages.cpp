#include "app/output/CompilerMessages.h"

#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

#include <cstring>

namespace CompilerMessages {

namespace {

// The number of `text`'s trailing ":DIGITS", removed from it; -1 when it has none.
long takeTrailingNumber(std::string_view& text)
{
    size_t digits = 0;
    while (digits < text.size() && text[text.size() - 1 - digits] >= '0' && text[text.size() - 1 - digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 9 || digits + 1 > text.size() || text[text.size() - 1 - digits] != ':')
        return -1;
    const long number = std::stol(std::string(text.substr(text.size() - digits)));
    text.remove_suffix(digits + 1);
    return number;
}

void add(Counts& counts, std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    switch (classify(line).kind) {
    case Kind::Error:
        ++counts.errors;
        break;
    case Kind::Warning:
        ++counts.warnings;
        break;
    case Kind::None:
        break;
    }
}

} // namespace

Message classify(std::string_view line)
{
    // The pane's own lines never count, whatever they quote.
    for (std::string_view own : {"Running: ", "Tool returned error: "})
        if (line.substr(0, own.size()) == own)
            return {};
    struct Label {
        std::string_view text;
        Kind kind;
    };
    static constexpr Label labels[] = {
        {": error:", Kind::Error}, {": fatal error:", Kind::Error}, {": warning:", Kind::Warning}};
    // The first label in the line is the message's; later ones are its text.
    size_t at = std::string_view::npos;
    Kind kind = Kind::None;
    for (const Label& label : labels) {
        const size_t found = line.find(label.text);
        if (found < at) {
            at = found;
            kind = label.kind;
        }
    }
    if (kind == Kind::None)
        return {};
    std::string_view place = line.substr(0, at);
    const long second = takeTrailingNumber(place);
    const long first = second >= 0 ? takeTrailingNumber(place) : -1;
    // FILE:LINE:COLUMN, FILE:LINE or PROGRAM; a name starts at the margin,
    // and a ": " before the label makes it the text of something else
    // ("a.c:3: note: see: error: ...").
    if (place.empty() || place.front() == ' ' || place.front() == '\t' || place.find(": ") != std::string_view::npos)
        return {};
    Message message;
    message.kind = kind;
    const long lineNumber = first >= 0 ? first : second;
    message.line = lineNumber > 0 ? int(lineNumber) : 0;
    return message;
}

int find(const QTextDocument& document, int from, bool forward)
{
    const int blocks = document.blockCount();
    if (blocks == 0)
        return -1;
    if (from < -1 || from >= blocks)
        from = -1;
    // One pass over every block, starting next to `from`, so the search wraps.
    int at = from;
    for (int step = 0; step < blocks + 1; ++step) {
        if (forward)
            at = at + 1 >= blocks ? 0 : at + 1;
        else
            at = at - 1 < 0 ? blocks - 1 : at - 1;
        const std::string text = document.findBlockByNumber(at).text().toStdString();
        const Message message = classify(text);
        if (message.kind != Kind::None && message.line > 0)
            return at;
    }
    return -1;
}

void Tally::feed(const char* data, size_t size)
{
    std::lock_guard<std::mutex> hold(m_lock);
    const char* end = data + size;
    while (data < end) {
        const auto* newline = static_cast<const char*>(std::memchr(data, '\n', size_t(end - data)));
        const char* stop = newline ? newline : end;
        const size_t room = KeptLineBytes > m_line.size() ? KeptLineBytes - m_line.size() : 0;
        m_line.append(data, std::min(room, size_t(stop - data)));
        if (!newline)
            break;
        add(m_counts, m_line);
        m_line.clear();
        data = newline + 1;
    }
}

Counts Tally::counts() const
{
    std::lock_guard<std::mutex> hold(m_lock);
    Counts counts = m_counts;
    add(counts, m_line);
    return counts;
}

void Tally::clear()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_counts = {};
    m_line.clear();
}

Counts count(const QString& text)
{
    Tally tally;
    const QByteArray bytes = text.toUtf8();
    tally.feed(bytes.constData(), size_t(bytes.size()));
    return tally.counts();
}

QString summary(const Counts& counts, double seconds)
{
    auto plural = [](int n, const char* one, const char* many) {
        return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
    };
    return plural(counts.errors, "error", "errors") + QLatin1String(", ")
        + plural(counts.warnings, "warning", "warnings") + QLatin1String(", ") + QString::number(seconds, 'f', 1)
        + QLatin1String(" s");
}

} // namespace CompilerMessages
