#include "CompilerMessages.h"

#include "ErrorLineParser.h"

#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>

namespace CompilerMessages {

bool isMessage(const std::string& line)
{
    // The pane's own lines read like messages to the parser.
    for (const char* own : {"Running: ", "Tool returned error: "}) {
        if (line.rfind(own, 0) == 0)
            return false;
    }
    const auto location = parseErrorLine(line);
    // "main.c:" alone or "note: x" carry no line to go to.
    return location && location->line > 0 && !location->file.empty();
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
        if (isMessage(document.findBlockByNumber(at).text().toStdString()))
            return at;
    }
    return -1;
}

namespace {

// "lintel: error: ..." or "gcc: fatal error: ...": a tool's error about no
// line in particular. It counts, so a failed link or a missing input never
// reads as "0 errors".
bool isPlainError(const QString& line)
{
    if (line.startsWith(QLatin1String("Running: ")) || line.startsWith(QLatin1String("Tool returned error: ")))
        return false;
    for (const char* mark : {": error: ", ": fatal error: "}) {
        const qsizetype at = line.indexOf(QLatin1String(mark));
        if (at > 0 && !line.at(0).isSpace() && !line.left(at).contains(QLatin1String(": ")))
            return true;
    }
    return false;
}

} // namespace

Counts count(const QString& text)
{
    Counts counts;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!isMessage(line.toStdString())) {
            counts.errors += isPlainError(line) ? 1 : 0;
            continue;
        }
        if (line.contains(QLatin1String(": error:")) || line.contains(QLatin1String(": fatal error:")))
            ++counts.errors;
        else if (line.contains(QLatin1String(": warning:")))
            ++counts.warnings;
    }
    return counts;
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
