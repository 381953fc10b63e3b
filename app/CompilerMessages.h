#pragma once
// The compiler messages in the output pane: finding the next or previous one
// (F8, Shift+F8) and counting errors and warnings for the status bar.

#include <QString>

#include <string>

class QTextDocument;

namespace CompilerMessages {

// True for a line that names a file and a line number as a compiler prints
// it (what selecting opens), leaving out the pane's own "Running: " and
// "Tool returned error: " lines.
bool isMessage(const std::string& line);

// The block number of the next (or previous) message paragraph after (or
// before) block `from`, wrapping at the ends; -1 when the document holds no
// message. `from` -1 starts before the first block.
int find(const QTextDocument& document, int from, bool forward);

struct Counts {
    int errors = 0;
    int warnings = 0;
};

// Errors and warnings among the messages of `text` (one message a line),
// with the errors tools report without a line ("lintel: error: ...").
Counts count(const QString& text);

// "2 errors, 5 warnings, 3.4 s".
QString summary(const Counts& counts, double seconds);

} // namespace CompilerMessages
