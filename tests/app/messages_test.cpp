// F8 / Shift+F8 from compiler message to compiler message in the output
// pane, and the status bar's error and warning counts after a build.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/output/CompilerMessages.h"
#include "app/output/OutputPanel.h"
#include "core/ProjectManager.h"

#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>

class MessagesTest : public WindowTestBase {
    Q_OBJECT
private:
    QString m_projectDirectory;

    QTextEdit* box() { return m_window->findChild<QTextEdit*>("outputBox"); }

    void openProject(const QStringList& files)
    {
        const QString path = m_kit->writeProject("projects/game/game.vnp", "game", files);
        m_projectDirectory = QFileInfo(path).absolutePath() + "/";
        openWindow(path);
        QVERIFY(m_window->projectManager().getProject());
    }

    QString editorCall(const QString& file, int line)
    {
        return m_kit->root() + "/bin/editor -n" + QString::number(line) + " " + m_projectDirectory + file;
    }

private slots:
    void initTestCase() { startSuite(); }
    void init() { startTest(); }
    void cleanup() { endTest(); }

    void countsTable_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("errors");
        QTest::addColumn<int>("warnings");
        QTest::newRow("empty") << "" << 0 << 0;
        QTest::newRow("mixed")
            << "Running: xgcc -Werror a.c\n"
               "a.c:3: warning: unused x\n"
               "a.c:4:7: error: 'y' undeclared\n"
               "In file included from a.h:3,\n"
               "a.h:9: fatal error: b.h: No such file\n"
               "a.c:12: note: declared here\n"
               "a.c: warning: no line\n"
               "C:\\p\\b.c:5: warning: shadowed\n"
               "Tool returned error: 1\n"
            << 2 << 3;
        QTest::newRow("errors without a line")
            << "lintel: error: the program defines no entry point main\n"
               "src/a.c: error: undefined reference to `t'\n"
               "cc1: fatal error: x.c: No such file\n"
               "a.c:2: note: first defined here\n"
               "    4 | x: error: a quoted source line\n"
            << 3 << 0;
        // Progress lines are no messages, nor is a note quoting an error.
        QTest::newRow("progress lines") << "lintel: program /p/Output/program written (19 symbol(s))\n"
                                           "  adding: resources (deflated 31%)\n"
                                           "a.c:3: note: see: error: here"
                                        << 0 << 0;
        // The pane's own lines never count, whatever they contain.
        QTest::newRow("own lines") << "Running: lintel x.c:3: error: y\nTool returned error: 2\n" << 0 << 0;
    }

    void countsTable()
    {
        QFETCH(QString, text);
        QFETCH(int, errors);
        QFETCH(int, warnings);
        const CompilerMessages::Counts counts = CompilerMessages::count(text);
        QCOMPARE(counts.errors, errors);
        QCOMPARE(counts.warnings, warnings);
    }

    void summaryText()
    {
        QCOMPARE(CompilerMessages::summary({2, 5}, 3.43), QString("2 errors, 5 warnings, 3.4 s"));
        QCOMPARE(CompilerMessages::summary({1, 1}, 0.04), QString("1 error, 1 warning, 0.0 s"));
    }

    void f8WalksMessagesInOrderAndWraps()
    {
        // Each compile warns twice; the link fails with an error.
        m_kit->writeTool("xgcc", "echo \"${@: -1}:3: warning: first\"; echo plain text; "
                                 "echo \"  adding: resources (deflated 31%)\"; "
                                 "echo \"${@: -1}:7: warning: second\"\n");
        m_kit->writeTool("lintel", "echo \"lintel: program ./p written (19 symbol(s))\"; "
                                   "echo \"./link.c:9: error: undefined\"; exit 2\n");
        openProject({"./a.c", "./b.c"});
        m_window->build();
        m_starter.started.clear();

        const QStringList expected = {editorCall("./a.c", 3), editorCall("./a.c", 7), editorCall("./b.c", 3),
                                      editorCall("./b.c", 7), m_kit->root() + "/bin/editor -n9 ./link.c"};
        auto* next = m_window->findChild<QAction*>("actionNextMessage");
        auto* previous = m_window->findChild<QAction*>("actionPreviousMessage");
        QVERIFY(next && previous);
        QCOMPARE(next->shortcut(), QKeySequence(Qt::Key_F8));
        QCOMPARE(previous->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F8));

        for (int press = 0; press < expected.size() + 1; ++press) {
            next->trigger();
            // Wrapped to the first after the last.
            QCOMPARE(m_starter.started.size(), press + 1);
            QCOMPARE(m_starter.started.last(), expected[press % expected.size()]);
            const QString selected = box()->textCursor().selectedText();
            QVERIFY2(selected.contains(":3: warning: first") || selected.contains(":7: warning: second")
                         || selected.contains(":9: error: undefined"),
                     qPrintable(selected));
        }
        // Back from the first wraps to the last, then walks backwards.
        previous->trigger();
        QCOMPARE(m_starter.started.last(), expected.last());
        previous->trigger();
        QCOMPARE(m_starter.started.last(), expected[3]);

        // Selecting by F8 opens once: the settled selection opens nothing more.
        const int opened = m_starter.started.size();
        QTest::qWait(OutputPanel::SelectionSettleMs * 2);
        QCOMPARE(m_starter.started.size(), opened);
    }

    void f8WithoutMessagesDoesNothing()
    {
        openProject({"./a.c"});
        m_window->build();
        m_starter.started.clear();
        m_window->findChild<QAction*>("actionNextMessage")->trigger();
        m_window->findChild<QAction*>("actionPreviousMessage")->trigger();
        QVERIFY(m_starter.started.isEmpty());
        QCOMPARE(CompilerMessages::find(*box()->document(), -1, true), -1);
    }

    void statusBarCountsWithoutTouchingTheTranscript()
    {
        // Far more warnings than the pane keeps: every one is counted.
        m_kit->writeTool("xgcc", "yes \"${@: -1}:4: warning: w\" | head -n 25000\n"
                                 "echo \"${@: -1}:8: error: e1\"; echo \"${@: -1}:9:2: error: e2\"; exit 1\n");
        openProject({"./a.c"});
        m_window->build();
        auto* summary = m_window->findChild<QLabel*>("buildSummary");
        QVERIFY(summary);
        QVERIFY2(summary->text().startsWith("2 errors, 25000 warnings, "), qPrintable(summary->text()));
        QVERIFY(summary->text().endsWith(" s"));
        const QString pane = box()->toPlainText();
        QVERIFY(!pane.contains("warnings,"));
        QVERIFY2(pane.endsWith("Tool returned error: 1\n"), qPrintable(pane));
    }
};

QTEST_MAIN(MessagesTest)
#include "messages_test.moc"
