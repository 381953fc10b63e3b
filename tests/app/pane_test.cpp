// The output pane under use: plain text only, following the end while the
// user stays there, opening a message's file once per line, and floods of
// output kept bounded with everything still saved by "Save output...".

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/WindowExecutor.h"
#include "app/output/OutputPanel.h"
#include "app/output/OutputStream.h"
#include "core/ProjectManager.h"
#include "core/builder/ParallelCompile.h"

#include <QAction>
#include <QCryptographicHash>
#include <QFile>
#include <QMenu>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

// AddressSanitizer holds freed memory back (its quarantine), so peak memory
// says nothing about what the code keeps. gcc and clang tell it differently.
#if defined(__SANITIZE_ADDRESS__)
#define MEMORY_IS_MEASURABLE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MEMORY_IS_MEASURABLE 0
#endif
#endif
#ifndef MEMORY_IS_MEASURABLE
#define MEMORY_IS_MEASURABLE 1
#endif

namespace {

std::string numberedLines(int from, int count)
{
    std::string text;
    for (int i = from; i < from + count; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

// The process's peak resident memory since the last resetPeak(), in KiB.
long peakKilobytes()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void resetPeak()
{
    QFile clear("/proc/self/clear_refs");
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

QAction* saveOutputAction(QMenu* menu)
{
    for (QAction* action : menu->actions())
        if (action->text() == "Save output...")
            return action;
    return nullptr;
}

} // namespace

class PaneTest : public WindowTestBase {
    Q_OBJECT
private:
    QTextEdit* box() { return m_window->findChild<QTextEdit*>("outputBox"); }
    OutputPanel* panel() { return m_window->outputPanel(); }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        openWindow();
        m_window->resize(1000, 700);
        m_window->show();
    }

    void cleanup() { endTest(); }

    void everythingIsPlainText()
    {
        panel()->appendParagraph("Running: xgcc -DTAG=<b> -c a.c");
        panel()->appendParagraph("<i>not italic</i> &amp;");
        QCOMPARE(box()->toPlainText(), QString("Running: xgcc -DTAG=<b> -c a.c\n<i>not italic</i> &amp;"));
        const QTextBlock first = box()->document()->firstBlock();
        for (auto it = first.begin(); !it.atEnd(); ++it)
            QVERIFY(!it.fragment().charFormat().font().bold());
    }

    void followsTheEndUntilTheUserScrollsAway()
    {
        OutputStream* stream = panel()->stream();
        QScrollBar* bar = box()->verticalScrollBar();
        stream->begin();
        for (int round = 0; round < 4; ++round) {
            const std::string text = numberedLines(round * 100, 100);
            stream->push(text.data(), text.size());
            stream->flushBatch();
            QCoreApplication::processEvents();
            QVERIFY(bar->maximum() > 0);
            QCOMPARE(bar->value(), bar->maximum());
        }
        // The user scrolls up to read: the view stays there.
        bar->setValue(10);
        const std::string more = numberedLines(400, 100);
        stream->push(more.data(), more.size());
        stream->flushBatch();
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 10);
        // Back at the end it follows again.
        bar->setValue(bar->maximum());
        const std::string last = numberedLines(500, 100);
        stream->push(last.data(), last.size());
        stream->finish();
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), bar->maximum());
    }

    void aMessageLineOpensItsFileOnce()
    {
        panel()->appendParagraph("Running: xgcc -c " + m_kit->path("a.c"));
        panel()->appendParagraph(m_kit->path("a.c") + ":5: error: something quite long went wrong here");
        panel()->appendParagraph(m_kit->path("b.c") + ":7: warning: another");
        QTextCursor cursor(box()->document()->findBlockByNumber(1));
        cursor.movePosition(QTextCursor::NextWord);
        cursor.movePosition(QTextCursor::NextWord);
        const QPoint word = box()->cursorRect(cursor).center();
        QTest::mouseDClick(box()->viewport(), Qt::LeftButton, {}, word);
        QTRY_COMPARE(m_starter.started.size(), 1);
        QVERIFY2(m_starter.started.first().contains("-n5 " + m_kit->path("a.c")), qPrintable(m_starter.started.first()));

        // Dragging across the same line to copy it starts nothing more.
        QTextCursor lineEnd(box()->document()->findBlockByNumber(1));
        lineEnd.movePosition(QTextCursor::EndOfBlock);
        const QPoint end = box()->cursorRect(lineEnd).center();
        QTest::mousePress(box()->viewport(), Qt::LeftButton, {}, QPoint(2, word.y()));
        for (int x = 2; x < end.x(); x += 12)
            QTest::mouseMove(box()->viewport(), QPoint(x, word.y()), 5);
        QTest::mouseRelease(box()->viewport(), Qt::LeftButton, {}, end);
        QTest::qWait(3 * OutputPanel::SelectionSettleMs);
        QCOMPARE(m_starter.started.size(), 1);
        QVERIFY(box()->textCursor().hasSelection());

        // Another message line opens its own file, once.
        QTextCursor other(box()->document()->findBlockByNumber(2));
        other.movePosition(QTextCursor::NextWord);
        QTest::mouseDClick(box()->viewport(), Qt::LeftButton, {}, box()->cursorRect(other).center());
        QTRY_COMPARE(m_starter.started.size(), 2);
        QTest::qWait(2 * OutputPanel::SelectionSettleMs);
        QCOMPARE(m_starter.started.size(), 2);
        QVERIFY(m_starter.started.last().contains("-n7 " + m_kit->path("b.c")));
    }

    // A tool printing far more than the pane keeps: the pane holds the last
    // lines and says how many are left out; the saved output has them all.
    void aFloodStaysBoundedAndIsSavedWhole()
    {
        const int total = OutputStream::ScrollbackLines * 3 + 123;
        m_kit->writeTool("flood", "i=0; while [ $i -lt " + QByteArray::number(total)
                                      + " ]; do echo \"line $i\"; i=$((i+1)); done\n");
        const QString tool = m_kit->path("bin/flood");
        QCOMPARE(panel()->runCommand(tool.toStdString(), true), 0);
        QTextDocument* document = box()->document();
        QVERIFY2(document->blockCount() <= OutputStream::ScrollbackLines + OutputStream::TrimSlack + 1,
                 qPrintable(QString::number(document->blockCount())));
        const qint64 leftOut = panel()->stream()->linesLeftOut();
        QVERIFY(leftOut > 0);
        // The notice stands where lines are missing: the first ones (after
        // the "Running:" line) above it, the last ones below.
        const int at = panel()->stream()->noticeBlock();
        QVERIFY(at > 1);
        const QString notice = document->findBlockByNumber(at).text();
        QVERIFY2(notice.contains(QString::number(leftOut)) && notice.contains("Save output..."), qPrintable(notice));
        QVERIFY(!notice.contains(':'));
        QCOMPARE(document->findBlockByNumber(at - 1).text(), "line " + QString::number(at - 2));
        QCOMPARE(document->findBlockByNumber(at + 1).text(), "line " + QString::number(at - 1 + leftOut));
        QVERIFY(box()->toPlainText().endsWith("line " + QString::number(total - 1) + "\n"));
        // Every line is either shown or counted.
        QCOMPARE(leftOut + document->blockCount() - 1, qint64(total + 1 + 1)); // + "Running:", + the empty last

        QTemporaryDir out;
        const QString saved = out.path() + "/build.txt";
        m_dialogs.nextFileNames << saved;
        std::unique_ptr<QMenu> menu(panel()->createContextMenu());
        QAction* save = saveOutputAction(menu.get());
        QVERIFY(save && save->isEnabled());
        save->trigger();
        QVERIFY(m_dialogs.messages.isEmpty());
        const std::string expected = "Running: " + tool.toStdString() + "\n" + numberedLines(0, total);
        QCOMPARE(m_kit->readFile(saved).toStdString(), expected);
    }

    void savingFailsWithAMessage()
    {
        panel()->appendParagraph("something");
        m_dialogs.nextFileNames << m_kit->path("no/such/directory/out.txt");
        panel()->saveOutput();
        QCOMPARE(m_dialogs.titles(), QStringList{"VarBuild"});
        QVERIFY(m_dialogs.messages.first().text.contains("out.txt"));
    }

    void nothingToSaveBeforeAnyOutput()
    {
        std::unique_ptr<QMenu> menu(panel()->createContextMenu());
        QAction* save = saveOutputAction(menu.get());
        QVERIFY(save);
        QVERIFY(!save->isEnabled());
    }

    void outputWaitingForTheViewIsBounded()
    {
        QTextEdit view;
        OutputStream stream(&view);
        stream.begin();
        // The reader delivers far more than the view takes between two ticks.
        const std::string chunk = numberedLines(0, 10000);
        size_t pushed = 0;
        while (pushed < 3 * OutputStream::PendingLimit) {
            stream.push(chunk.data(), chunk.size());
            pushed += chunk.size();
            QVERIFY(stream.pendingBytes() <= OutputStream::PendingLimit);
        }
        stream.flushBatch();
        QVERIFY(stream.linesLeftOut() > 0);
        QVERIFY(view.document()->blockCount() <= OutputStream::BatchLines + 2);
        QCOMPARE(stream.transcript().size(), (unsigned long long)pushed);
        // What remains starts at a line's start and ends with the last line.
        stream.finish();
        QVERIFY(view.toPlainText().endsWith("line 9999\n"));
        const QString second = view.document()->findBlockByNumber(1).text();
        QVERIFY2(second.startsWith("line "), qPrintable(second));
    }

    // Two compiles side by side, one printing a flood: the pane's transcript
    // is the one-by-one build's byte for byte, and the output waiting for its
    // turn goes to a file rather than into memory, or waits where no file
    // can be had.
    void sideBySideCompilesKeepTheTranscriptInBoundedMemory_data()
    {
        QTest::addColumn<bool>("floodFirst");
        // Where kept-back output may go; one that cannot be had leaves
        // memory alone to take it.
        QTest::addColumn<QByteArray>("temporaryDirectory");
        QTest::newRow("a later compile floods while the first runs") << false << QByteArray();
        QTest::newRow("the first compile floods live") << true << QByteArray();
        QTest::newRow("no temporary file for what a later compile prints") << false
                                                                            << QByteArray("/nonexistent/varbuild");
    }

    void sideBySideCompilesKeepTheTranscriptInBoundedMemory()
    {
        QFETCH(bool, floodFirst);
        QFETCH(QByteArray, temporaryDirectory);
        constexpr qint64 floodBytes = 48 << 20;
        const QByteArray line = "src/a.c:12: warning: one of very many\n";
        m_kit->writeTool("flood", "yes '" + line.trimmed() + "' | head -c " + QByteArray::number(floodBytes) + "\n");
        m_kit->writeTool("quiet", "sleep 0.3; echo quiet done\n");
        const std::string flood = m_kit->path("bin/flood").toStdString();
        const std::string quiet = m_kit->path("bin/quiet").toStdString();
        const KVUtil::Vector<KVUtil::String> commands
            = floodFirst ? KVUtil::Vector<KVUtil::String>{flood, quiet} : KVUtil::Vector<KVUtil::String>{quiet, flood};
        m_window->findChild<QSpinBox*>("spinJobs")->setValue(2);
        // The first compile's "Running:" line shows while it still runs.
        QString early;
        QTimer::singleShot(150, this, [&] { early = box()->toPlainText(); });
        const QByteArray temporary = qgetenv("TMPDIR");
        if (!temporaryDirectory.isEmpty())
            qputenv("TMPDIR", temporaryDirectory);
        resetPeak();
        const long before = peakKilobytes();
        const int code = Brask::runInOrder(*m_window->executor(), commands);
        if (temporary.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", temporary);
        QCOMPARE(code, 0);
        QVERIFY2(early.startsWith(QString::fromStdString("Running: " + commands.front() + "\n")), qPrintable(early));
        [[maybe_unused]] const long growth = peakKilobytes() - before;

        QCryptographicHash expected(QCryptographicHash::Sha256);
        for (const KVUtil::String& command : commands) {
            expected.addData(QByteArray::fromStdString((command == commands.front() ? "Running: " : "\nRunning: ")
                                                       + command + "\n"));
            if (command == quiet) {
                expected.addData(QByteArrayView("quiet done\n"));
                continue;
            }
            const QByteArray block = line.repeated(1 << 14);
            qint64 left = floodBytes;
            for (; left >= block.size(); left -= block.size())
                expected.addData(block);
            expected.addData(block.left(left));
        }
        QTemporaryDir out;
        std::string error;
        QVERIFY2(panel()->stream()->transcript().saveTo((out.path() + "/t").toStdString(), &error), error.c_str());
        QCOMPARE(sha256Of(out.path() + "/t"), expected.result());
#if MEMORY_IS_MEASURABLE
        QVERIFY2(growth < 32 * 1024, qPrintable(QString::number(growth / 1024) + " MiB more"));
#endif
    }

    void aHugeLineIsShownInPieces()
    {
        QTextEdit view;
        OutputStream stream(&view);
        stream.begin();
        const std::string line(OutputStream::LongLineChars * 5 / 2, 'x');
        stream.push(line.data(), line.size());
        stream.push("\nend\n", 5);
        stream.finish();
        QCOMPARE(view.document()->blockCount(), 5); // three pieces, "end", the empty last
        for (QTextBlock block = view.document()->firstBlock(); block.isValid(); block = block.next())
            QVERIFY(block.length() <= OutputStream::LongLineChars + 1);
        QCOMPARE(stream.transcript().size(), (unsigned long long)(line.size() + 5));
    }
};

QTEST_MAIN(PaneTest)
#include "pane_test.moc"
