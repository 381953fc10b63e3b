// Compiles side by side in the window: the pane shows the one-by-one build's
// transcript, also when a compile fails, and the number of jobs is the
// user's preference.

#include "AppTestSupport.h"
#include "app/WindowExecutor.h"
#include "app/Buildtool.h"
#include "core/ProjectManager.h"

#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>
#include <QThread>

class ParallelTest : public WindowTestBase {
    Q_OBJECT
private:
    const QStringList m_files{"./a.c", "./b.c", "./c.c", "./d.c", "./e.c"};

    QString pane()
    {
        return m_window->findChild<QTextEdit*>("outputBox")->toPlainText().replace(
            QRegularExpression("Build complete, time: [^\n]*"), "Build complete, time: T");
    }

    QSpinBox* jobsField() { return m_window->findChild<QSpinBox*>("spinJobs"); }

    // A compiler that takes the longer the earlier its source comes, prints
    // two lines (one on stderr) and fails for `failing`.
    void writeCompiler(const QString& failing)
    {
        QByteArray body = "src=\"${@: -1}\"\ncase \"$src\" in\n";
        for (int i = 0; i < m_files.size(); ++i)
            body += "  *" + m_files[i].mid(2).toUtf8() + ") sleep 0." + QByteArray::number(m_files.size() - i) + " ;;\n";
        body += "esac\necho \"compiling $src\"\necho \"$src:1: warning: w\" >&2\n";
        if (!failing.isEmpty())
            body += "case \"$src\" in *" + failing.toUtf8() + ") echo \"$src:2: error: e\"; exit 1 ;; esac\n";
        m_kit->writeTool("xgcc", body);
    }

    // The pane after a build with `jobs` set in the field.
    QString buildWith(int jobs, bool* success)
    {
        jobsField()->setValue(jobs);
        m_dialogs.messages.clear();
        m_window->build(true, success);
        return pane();
    }

private slots:
    void initTestCase() { startSuite(); }
    void init() { startTest(); }
    void cleanup() { endTest(); }

    void jobsPreferenceDefaultsToTheCoresAndIsKept()
    {
        QSettings("Varnel", "VarBuild").remove("build/jobs");
        openWindow(m_kit->writeProject("projects/game/game.vnp", "game", m_files));
        QSpinBox* field = jobsField();
        QVERIFY(field);
        QCOMPARE(field->value(), std::max(1, QThread::idealThreadCount()));
        QCOMPARE(m_window->executor()->jobs(), field->value());
        field->setValue(3);
        QCOMPARE(QSettings("Varnel", "VarBuild").value("build/jobs").toInt(), 3);
        QCOMPARE(m_window->executor()->jobs(), 3);
        // Not in the installation's configuration.
        QVERIFY(!m_kit->readFile("bin/config.xml").contains("jobs"));
        // A damaged value falls back to the default.
        QSettings("Varnel", "VarBuild").setValue("build/jobs", "many");
        QCOMPARE(m_window->executor()->jobs(), std::max(1, QThread::idealThreadCount()));
    }

    void paneShowsTheSequentialTranscript_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("all succeed") << QString();
        QTest::newRow("first fails") << "a.c";
        QTest::newRow("middle fails") << "c.c";
        QTest::newRow("last fails") << "e.c";
    }

    void paneShowsTheSequentialTranscript()
    {
        QFETCH(QString, failing);
        writeCompiler(failing);
        openWindow(m_kit->writeProject("projects/game/game.vnp", "game", m_files));
        bool sequentialOk = false;
        const QString sequential = buildWith(1, &sequentialOk);
        QCOMPARE(sequentialOk, failing.isEmpty());
        QVERIFY2(sequential.contains("compiling"), qPrintable(sequential));
        const QStringList boxes = m_dialogs.titles();
        for (int jobs : {2, 5}) {
            bool ok = !sequentialOk;
            const QString parallel = buildWith(jobs, &ok);
            QCOMPARE(ok, sequentialOk);
            QCOMPARE(parallel, sequential);
            QCOMPARE(m_dialogs.titles(), boxes);
            QVERIFY(!m_window->isBusy());
        }
    }
};

QTEST_MAIN(ParallelTest)
#include "parallel_test.moc"
