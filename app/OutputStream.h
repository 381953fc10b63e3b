#pragma once
// Carries a running tool's output from the reading thread into a QTextEdit.
//
// The reader pushes raw bytes from any thread; a timer on the GUI thread
// decodes them (UTF-8, keeping a character that a read split in two) and
// inserts them at the end of the view in bounded batches, so a flood of
// output never stalls painting.

#include <QObject>
#include <QString>
#include <QTimer>

#include <mutex>
#include <string>

class QTextEdit;

class OutputStream : public QObject {
    Q_OBJECT
public:
    // Lines inserted per timer tick, and the tick interval.
    static constexpr int BatchLines = 500;
    static constexpr int FlushIntervalMs = 25;

    explicit OutputStream(QTextEdit* view, QObject* parent = nullptr);

    // GUI thread: a fresh decoder and the flush timer running.
    void begin();
    // Any thread.
    void push(const char* data, size_t size);
    // GUI thread: stops the timer and writes everything still queued,
    // including an incomplete character at the very end.
    void finish();

public slots:
    // Inserts at most BatchLines lines of what has arrived so far.
    void flushBatch();

private:
    void takePending();
    void insertLines(bool all);
    void insert(const QString& text);

    QTextEdit* m_view;
    QTimer m_timer;
    std::mutex m_lock;
    std::string m_pending; // guarded by m_lock
    std::string m_carry;   // start of a UTF-8 character whose rest is still to come
    QString m_backlog;     // decoded, not yet in the view
};
