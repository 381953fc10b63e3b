#include "OutputPanel.h"

#include "ErrorLineParser.h"
#include "OutputStream.h"
#include "platform/ProcessRunner.h"

#include <QEventLoop>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextEdit>

OutputPanel::OutputPanel(QTextEdit* outputBox, QObject* parent)
    : QObject(parent)
    , m_view(outputBox)
    , m_stream(new OutputStream(outputBox, this))
{
    setObjectName(QStringLiteral("outputPanel"));
    connect(m_view, &QTextEdit::selectionChanged, this, &OutputPanel::outputSelectionChanged);
}

OutputPanel::~OutputPanel()
{
    if (m_terminator.joinable())
        m_terminator.join();
}

void OutputPanel::appendParagraph(const QString& text)
{
    m_view->append(text);
}

void OutputPanel::clear()
{
    m_view->clear();
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

void OutputPanel::outputSelectionChanged()
{
    QTextCursor cursor = m_view->textCursor();
    cursor.movePosition(QTextCursor::StartOfLine);
    cursor.select(QTextCursor::LineUnderCursor);
    const std::string text = cursor.selectedText().toStdString();
    if (const auto location = parseErrorLine(text))
        emit openRequested(QString::fromStdString(location->file), location->line);
}
