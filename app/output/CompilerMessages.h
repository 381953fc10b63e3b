#pragma once
// The compiler messages in the output pane: finding the next or previous one
// (F8, Shift+F8) and counting errors and warnings for the status bar.
//
// A message is a line in the form the GNU tools print:
// FILE:LINE[:COLUMN]: error|fatal error|warning: TEXT, or PROGRAM: error: TEXT
// for one that has no place. Selecting a line in the pane follows the looser
// parseErrorLine instead; this stricter form keeps progress lines such as
// "adding: resources (deflated 31%)" out of the counts and the F8 walk.

#include <QString>

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

class QTextDocument;

namespace CompilerMessages {

enum class Kind { None, Error, Warning };

struct Message {
    Kind kind = Kind::None;
    // Above 0 when the message names a line of a file.
    int line = 0;
};

Message classify(std::string_view line);

// The block number of the next (or previous) message paragraph with a line
// after (or before) block `from`, wrapping at the ends; -1 when the document
// holds none. `from` -1 starts before the first block.
int find(const QTextDocument& document, int from, bool forward);

struct Counts {
    int errors = 0;
    int warnings = 0;
};

// Counts messages in text fed piece by piece, cut anywhere. Thread-safe.
class Tally {
public:
    void feed(const char* data, size_t size);
    // Including an unfinished last line.
    Counts counts() const;
    void clear();

private:
    // Only the start of a line decides what it is.
    static constexpr size_t KeptLineBytes = 4096;

    mutable std::mutex m_lock;
    Counts m_counts;
    std::string m_line;
};

// Errors and warnings among the messages of `text` (one message a line).
Counts count(const QString& text);

// "2 errors, 5 warnings, 3.4 s".
QString summary(const Counts& counts, double seconds);

} // namespace CompilerMessages
