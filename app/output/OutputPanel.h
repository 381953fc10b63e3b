#pragma once
// The "Output" pane: tool output streamed in while a command runs, the
// window's own paragraphs, and compiler messages that open their file when
// text in them is selected.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <string>
#include <thread>

class OutputStream;
class QMenu;
class QTextEdit;
class QWidget;
class UserDialogs;

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
    // Boxes and the file dialog of "Save output..." go through `dialogs`
    // (which must outlive the panel); without it the entry is not offered.
    void setDialogs(UserDialogs* dialogs) { m_dialogs = dialogs; }
    // The pane's context menu: the view's own entries and "Save output...".
    // The caller owns it.
    QMenu* createContextMenu();
    // Writes the whole output since the last clear (not only what the pane
    // still shows) to a file the user names.
    void saveOutput();
    OutputStream* stream() const { return m_stream; }
    // How long a selection must stay put before its line opens its file.
    static constexpr int SelectionSettleMs = 250;
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

    // F8 / Shift+F8: selects the next (previous) compiler message, wrapping
    // at the ends, scrolls to it and asks once to open its file at its line.
    void gotoMessage(bool forward);

signals:
    // Text was selected in a line that names a file and a line number.
    void openRequested(const QString& file, int line);

public slots:
    void outputSelectionChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void selectionSettled();

    QTextEdit* m_view;
    // The view's viewport, whose mouse events the panel watches.
    QPointer<QWidget> m_viewport;
    OutputStream* m_stream;
    UserDialogs* m_dialogs = nullptr;
    QTimer* m_selectionTimer;
    bool m_mouseDown = false;
    // The line whose file was opened last, so further selecting in it (to
    // copy text) starts nothing more.
    int m_openedBlock = -1;
    QString m_openedLine;
    // The block of the message F8 went to last; -1 after a clear.
    int m_messageBlock = -1;
    std::atomic<Platform::ProcessRunner*> m_runner{nullptr};
    std::thread m_terminator;
    std::atomic<bool> m_terminatorDone{false};
};
