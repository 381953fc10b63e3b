#pragma once
// The "Output" pane: tool output streamed in while a command runs, the
// window's own paragraphs, and compiler messages that open their file when
// text in them is selected.

#include <QObject>
#include <QString>

#include <atomic>
#include <string>
#include <thread>

class OutputStream;
class QTextEdit;

namespace Platform {
class ProcessRunner;
}

class OutputPanel : public QObject {
    Q_OBJECT
public:
    explicit OutputPanel(QTextEdit* outputBox, QObject* parent = nullptr);
    ~OutputPanel() override;

    void appendParagraph(const QString& text);
    void clear();
    void scrollToEnd();

    // Runs `commandLine` to completion and returns its exit code (or the
    // platform error code of the refused step, after the "Error %i on line
    // %i" paragraph). The child runs on a worker thread while a local event
    // loop keeps the window painting and fills the pane as output arrives.
    int runCommand(const std::string& commandLine, bool echo);
    bool isRunning() const { return m_runner.load() != nullptr; }
    // Ends the running command (SIGTERM, then SIGKILL); runCommand() then
    // returns as soon as the child is gone. Does nothing when idle.
    void terminateCommand();

signals:
    // Text was selected in a line that names a file and a line number.
    void openRequested(const QString& file, int line);

public slots:
    void outputSelectionChanged();

private:
    QTextEdit* m_view;
    OutputStream* m_stream;
    std::atomic<Platform::ProcessRunner*> m_runner{nullptr};
    std::thread m_terminator;
    std::atomic<bool> m_terminatorDone{false};
};
