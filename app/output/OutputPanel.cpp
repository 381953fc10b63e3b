#include "app/output/OutputPanel.h"

#include "app/output/CompilerMessages.h"
#include "core/builder/ErrorLineParser.h"
#include "app/output/OutputStream.h"
#include "app/dialogs/UserDialogs.h"
#include "platform/ProcessRunner.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QMenu>

#include <QEventLoop>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

OutputPanel::OutputPanel(QTextEdit* outputBox, QObject* parent)
    : QObject(parent)
    , m_view(outputBox)
    , m_stream(new OutputStream(outputBox, this))
{
    setObjectName(QStringLiteral("outputPanel"));
    connect(m_view, &QTextEdit::selectionChanged, this, &OutputPanel::outputSelectionChanged);
    // A drag or a double-click changes the selection many times; the line
    // opens its file once, when the selection has settled.
    m_selectionTimer = new QTimer(this);
    m_selectionTimer->setSingleShot(true);
    m_selectionTimer->setInterval(SelectionSettleMs);
    connect(m_selectionTimer, &QTimer::timeout, this, &OutputPanel::selectionSettled);
    m_view->setAcceptRichText(false);
    m_viewport = m_view->viewport();
    m_viewport->installEventFilter(this);
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        QMenu* menu = createContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_view->viewport()->mapToGlobal(pos));
    });
}

QMenu* OutputPanel::createContextMenu()
{
    QMenu* menu = m_view->createStandardContextMenu();
    if (m_dialogs) {
        menu->addSeparator();
        QAction* save = menu->addAction(tr("Save output..."), this, &OutputPanel::saveOutput);
        save->setObjectName(QStringLiteral("actionSave_output"));
        save->setEnabled(m_stream->transcript().size() > 0);
    }
    return menu;
}

void OutputPanel::saveOutput()
{
    if (!m_dialogs)
        return;
    const QString path = m_dialogs->getSaveFileName(m_view->window(), tr("Save output"), QDir::currentPath(),
                                                    tr("Text files (*.txt);;All Files (*)"));
    if (path.isEmpty())
        return;
    std::string error;
    if (!m_stream->transcript().saveTo(path.toStdString(), &error))
        m_dialogs->showMessage(UserDialogs::Kind::Warning, tr("VarBuild"),
                               tr("The output could not be saved to %1: %2")
                                   .arg(QDir::toNativeSeparators(path), QString::fromStdString(error)));
}

OutputPanel::~OutputPanel()
{
    if (m_viewport)
        m_viewport->removeEventFilter(this);
    if (m_terminator.joinable())
        m_terminator.join();
}

void OutputPanel::appendParagraph(const QString& text)
{
    m_stream->appendParagraph(text);
}

void OutputPanel::clear()
{
    m_stream->clear();
    m_openedBlock = -1;
    m_openedLine.clear();
    m_messageBlock = -1;
}

void OutputPanel::gotoMessage(bool forward)
{
    const int block = CompilerMessages::find(*m_view->document(), m_messageBlock, forward);
    if (block < 0)
        return;
    m_messageBlock = block;
    const QTextBlock target = m_view->document()->findBlockByNumber(block);
    QTextCursor cursor(target);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    m_view->setTextCursor(cursor);
    // The selection was ours: its settling must not open the file a second time.
    m_selectionTimer->stop();
    m_view->ensureCursorVisible();
    const std::string text = target.text().toStdString();
    if (const auto location = parseErrorLine(text))
        emit openRequested(QString::fromStdString(location->file), location->line);
}

void OutputPanel::scrollToEnd()
{
    m_view->verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
}

int OutputPanel::runCommand(const std::string& commandLine, bool echo)
{
    if (echo)
        appendParagraph(QStringLiteral("Running: ") + QString::fromUtf8(commandLine.c_str()) + QLatin1Char('\n'));

    Platform::ProcessRunner runner;
    Platform::RunResult result;
    QEventLoop loop;
    m_stream->begin();
    m_runner = &runner;
    std::thread worker([&] {
        result = runner.run(commandLine, echo, [this](const char* data, size_t size) { m_stream->push(data, size); });
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    m_runner = nullptr;
    if (m_terminator.joinable())
        m_terminator.join();
    m_stream->finish();

    if (result.failedStep != Platform::StepNone)
        appendParagraph(QString::fromUtf8(
            (Platform::failureLine(result) + Platform::failureExplanation(result)).c_str()));
    return result.code;
}

void OutputPanel::terminateCommand()
{
    Platform::ProcessRunner* runner = m_runner.load();
    if (!runner)
        return;
    // One stop at a time; once it has done its work a later stop asks again
    // (the runner keeps a stop that came before its child was there).
    if (m_terminator.joinable()) {
        if (!m_terminatorDone)
            return;
        m_terminator.join();
    }
    m_terminatorDone = false;
    // terminate() may wait out the grace period; the GUI thread keeps going.
    m_terminator = std::thread([this, runner] {
        runner->terminate();
        m_terminatorDone = true;
    });
}

bool OutputPanel::eventFilter(QObject* watched, QEvent* event)
{
    // Compared by address only: while the view is being destroyed its
    // viewport still sends events, but the view may no longer be asked.
    if (watched == m_viewport) {
        // A double-click ends its gesture: the word is selected.
        if (event->type() == QEvent::MouseButtonPress)
            m_mouseDown = true;
        else if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseButtonDblClick)
            m_mouseDown = false;
    }
    return QObject::eventFilter(watched, event);
}

void OutputPanel::outputSelectionChanged()
{
    m_selectionTimer->start();
}

void OutputPanel::selectionSettled()
{
    // Still dragging: the selection has not settled yet.
    if (m_mouseDown) {
        m_selectionTimer->start();
        return;
    }
    QTextCursor cursor = m_view->textCursor();
    // A click that only drops the selection selects nothing.
    if (!cursor.hasSelection())
        return;
    cursor.movePosition(QTextCursor::StartOfLine);
    cursor.select(QTextCursor::LineUnderCursor);
    const QString line = cursor.selectedText();
    const int block = cursor.blockNumber();
    if (block == m_openedBlock && line == m_openedLine)
        return;
    const std::string text = line.toStdString();
    if (const auto location = parseErrorLine(text)) {
        m_openedBlock = block;
        m_openedLine = line;
        emit openRequested(QString::fromStdString(location->file), location->line);
    }
}
