#pragma once
// Writes the output pane: a running tool's output carried from the reading
// thread, and the window's own paragraphs, all as plain text.
//
// The reader pushes raw bytes from any thread; they go whole into the
// transcript (a temporary file, for "Save output...") and into a bounded
// queue. A timer on the GUI thread decodes the queue (UTF-8, keeping a
// character that a read split in two) and inserts it at the end of the view
// in batches bounded in lines and characters, so painting goes on between
// them whatever a tool prints. The view keeps about ScrollbackLines lines:
// the first HeadLines and the latest, with one notice line between them
// saying how many lines are left out there. Lines that never reach the view
// (a tool printed faster than the view takes text) are left out at that
// same place: the lines after the notice go with them, so the view always
// shows the start of the output, one gap, and its end.
//
// Every line also goes through the compiler-message tally, so the counts of
// errors and warnings cover the whole output, not only what the view keeps.

#include "app/output/CompilerMessages.h"
#include "app/output/OutputTranscript.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <mutex>
#include <string>

class QTextEdit;

class OutputStream : public QObject {
    Q_OBJECT
public:
    // Lines and characters inserted per timer tick, and the tick interval.
    static constexpr int BatchLines = 500;
    static constexpr int BatchChars = 64 * 1024;
    static constexpr int FlushIntervalMs = 25;
    // A batch goes in in pieces of this many lines, and a tick stops adding
    // pieces after this much time, so that a slow layout cannot stretch it.
    static constexpr int PieceLines = 50;
    static constexpr int TickBudgetMs = 10;
    // The view is trimmed back to ScrollbackLines once it has grown this
    // many lines beyond it: removing lines at the top costs a relayout.
    static constexpr int TrimSlack = 1000;
    // Lines the view keeps, like a terminal's scroll-back, of which the
    // first HeadLines of the output stay whatever follows.
    static constexpr int ScrollbackLines = 20000;
    static constexpr int HeadLines = 1000;
    // A line longer than this continues on the next line of the view (the
    // layout of one huge line would stall painting); the transcript keeps it
    // whole.
    static constexpr int LongLineChars = 4000;
    // Bytes waiting for the view; beyond it the oldest waiting lines go.
    static constexpr size_t PendingLimit = 4 * 1024 * 1024;
    // Lines a tick decodes at most while waiting lines are being cut: the
    // view takes BatchLines a tick, so more would be cut before going in.
    static constexpr int StreamingLines = 4 * BatchLines;

    explicit OutputStream(QTextEdit* view, QObject* parent = nullptr);

    // GUI thread: a fresh decoder and the flush timer running.
    void begin();
    // Any thread.
    void push(const char* data, size_t size);
    // GUI thread: stops the timer and writes everything still queued,
    // including an incomplete character at the very end, batch by batch with
    // the event loop running in between.
    void finish();

    // GUI thread: a paragraph of the window's own (plain text, never markup).
    void appendParagraph(const QString& text);
    // GUI thread: empties the view and the transcript.
    void clear();

    const OutputTranscript& transcript() const { return m_transcript; }
    // Errors and warnings in everything since the last clear.
    CompilerMessages::Counts messageCounts() const { return m_tally.counts(); }
    // Lines not shown in the view (scrolled out or never inserted), and the
    // block of the notice that says so (-1 while nothing is left out).
    qint64 linesLeftOut() const { return m_leftOut; }
    int noticeBlock() const { return m_noticeBlock; }
    // Bytes waiting for the view (bounded by PendingLimit).
    size_t pendingBytes() const;

public slots:
    // Inserts one bounded batch of what has arrived so far.
    void flushBatch();

private:
    // `streaming`: more output is to come (a timer tick, not finish()).
    void takePending(bool streaming);
    void dropSupersededLines(std::string& bytes, int keep);
    void capBacklog();
    // `lines` that were never inserted are left out after what the view
    // shows: the gap moves to the end of the view.
    void leaveOutAtEnd(qint64 lines);
    // Lines of the backlog not inserted yet.
    qint64 waitingLines() const;
    // Inserts one batch within the tick's time budget; false when nothing
    // was waiting.
    bool insertBatch();
    bool insertPiece(int maxLines, int maxChars);
    void insertText(const QString& text);
    void trimView();
    // Puts the notice (with an empty block after it) at block `block`.
    void insertNotice(int block);
    void showLeftOut();
    void followEnd();

    QTextEdit* m_view;
    QTimer m_timer;
    OutputTranscript m_transcript;
    CompilerMessages::Tally m_tally;
    mutable std::mutex m_lock;
    std::string m_pending;         // guarded by m_lock
    qint64 m_droppedPending = 0;   // guarded by m_lock: lines cut from m_pending
    bool m_cutPending = false;     // guarded by m_lock: a line lost its start
    std::string m_carry;           // start of a UTF-8 character whose rest is still to come
    QString m_backlog;             // decoded; from m_backlogStart on not yet in the view
    qsizetype m_backlogStart = 0;
    int m_openLineChars = 0;       // characters of the view's last line
    qint64 m_leftOut = 0;
    qint64 m_leftOutShown = 0;
    int m_noticeBlock = -1;
    // The view follows its end while the user has not scrolled away.
    bool m_follow = true;
    bool m_scrolling = false;
};
