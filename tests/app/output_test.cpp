// The output pane: decoding and batching of streamed output, and commands
// run through it with real child processes.

#include "AppTestSupport.h"
#include "app/output/OutputPanel.h"
#include "app/output/OutputStream.h"

#include <QTest>
#include <QTextEdit>

class OutputTest : public QObject {
    Q_OBJECT
private slots:
    void splitAnywhereGivesSameText()
    {
        // Two-, three- and four-byte characters next to line ends.
        const std::string input = "caf\xc3\xa9 a.c:1: \xe2\x80\x98x\xe2\x80\x99\nsmile \xf0\x9f\x98\x80 end\n";
        const QString expected = QString::fromUtf8(input.c_str());
        for (size_t cut = 0; cut <= input.size(); ++cut) {
            QTextEdit view;
            OutputStream stream(&view);
            stream.begin();
            stream.push(input.data(), cut);
            stream.flushBatch();
            stream.push(input.data() + cut, input.size() - cut);
            stream.finish();
            QCOMPARE(view.toPlainText(), expected);
        }
    }

    void truncatedCharacterAtEndIsShownNotDropped()
    {
        QTextEdit view;
        OutputStream stream(&view);
        stream.begin();
        stream.push("ab\xe2\x80", 4);
        stream.flushBatch();
        QCOMPARE(view.toPlainText(), QString("ab"));
        stream.finish();
        const QString text = view.toPlainText();
        QVERIFY(text.startsWith("ab") && text.size() > 2);
        QVERIFY(text.mid(2).count(QChar(QChar::ReplacementCharacter)) == text.size() - 2);
    }

    void oneTickInsertsABoundedBatch()
    {
        QTextEdit view;
        OutputStream stream(&view);
        stream.begin();
        std::string flood;
        for (int i = 0; i < 1200; ++i)
            flood += "line " + std::to_string(i) + "\n";
        stream.push(flood.data(), flood.size());
        stream.flushBatch();
        // At most one batch; fewer lines when the tick's time ran out first.
        QVERIFY(view.document()->blockCount() <= OutputStream::BatchLines + 1);
        QVERIFY(view.document()->blockCount() > OutputStream::PieceLines);
        stream.finish();
        QCOMPARE(view.document()->blockCount(), 1201);
        QVERIFY(view.toPlainText().endsWith("line 1199\n"));
    }

    void commandOutputFollowsItsRunningLine()
    {
        TestInstallation kit;
        kit.writeTool("talk", "echo out1; echo err1 >&2; printf 'a long line written in pieces'; "
                              "printf ' that must stay whole\\n'; read x || echo eof; exit 3\n");
        qputenv("VARNELDIR", kit.root().toLocal8Bit());
        QTextEdit view;
        OutputPanel panel(&view);
        panel.appendParagraph("before");
        const QString tool = kit.path("bin/talk");
        QCOMPARE(panel.runCommand(tool.toStdString(), true), 3);
        QCOMPARE(view.toPlainText(), "before\nRunning: " + tool
                                         + "\nout1\nerr1\na long line written in pieces that must stay whole\neof\n");
    }

    void withoutEchoOnlyStandardErrorShows()
    {
        TestInstallation kit;
        kit.writeTool("talk", "echo hidden; echo shown >&2\n");
        QTextEdit view;
        OutputPanel panel(&view);
        QCOMPARE(panel.runCommand(kit.path("bin/talk").toStdString(), false), 0);
        QCOMPARE(view.toPlainText(), QString("shown\n"));
    }

    void missingProgramGivesFailureLine()
    {
        TestInstallation kit;
        QTextEdit view;
        OutputPanel panel(&view);
        QCOMPARE(panel.runCommand(kit.path("bin/nothing-here").toStdString(), true), 2);
        // The designed line, then what is missing.
        QVERIFY2(view.toPlainText().endsWith("Error 2 on line 721\nCannot find the program \""
                                             + kit.path("bin/nothing-here") + "\"\n"),
                 qPrintable(view.toPlainText()));
    }

    // A stop that lands while the command is still being started ends it;
    // a stop is never lost and later ones keep working.
    void stopWhileStartingIsNotLost()
    {
        TestInstallation kit;
        kit.writeTool("hang", "exec sleep 600\n");
        QTextEdit view;
        OutputPanel panel(&view);
        for (int i = 0; i < 20; ++i) {
            QTimer::singleShot(0, &panel, [&panel] { panel.terminateCommand(); });
            // Only a rescue for a lost stop, so the test cannot hang.
            QTimer rescue;
            rescue.setSingleShot(true);
            bool rescued = false;
            connect(&rescue, &QTimer::timeout, this, [&] {
                rescued = true;
                panel.terminateCommand();
            });
            rescue.start(10000);
            QCOMPARE(panel.runCommand(kit.path("bin/hang").toStdString(), true), 128 + 15);
            QVERIFY2(!rescued, "the first stop was lost");
        }
    }

    void terminateEndsAHangingCommand()
    {
        TestInstallation kit;
        kit.writeTool("hang", "echo started; exec sleep 600\n");
        QTextEdit view;
        OutputPanel panel(&view);
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (view.toPlainText().contains("started"))
                panel.terminateCommand();
        });
        poll.start(10);
        const int code = panel.runCommand(kit.path("bin/hang").toStdString(), true);
        QCOMPARE(code, 128 + 15);
        QVERIFY(!panel.isRunning());
    }
};

QTEST_MAIN(OutputTest)
#include "output_test.moc"
