// "Stop build" in the window: a stop at a compile, a link, a zip or a send
// ends the running tool's whole process group, runs nothing more, leaves no
// half JAR and ends the pane with the stopped line instead of an error box.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "core/ProjectManager.h"
#include "core/CommandExecutor.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QSpinBox>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <functional>

namespace {

QAction* action(QWidget* window, const char* name)
{
    auto* found = window->findChild<QAction*>(name);
    if (!found)
        qFatal("no action %s", name);
    return found;
}

// True once no process is left in group `group`, zombies included.
bool groupGone(pid_t group)
{
    return ::kill(-group, 0) == -1 && errno == ESRCH;
}

// A tool body that notes its process group (its own id: tools run in
// sessions of their own) once it is ready to be stopped. Compiles may run
// side by side with their output held back, so the note goes to a file.
QByteArray hanging(const QByteArray& body)
{
    return "echo $$ >> \"$VARNELDIR/groups\"\n" + body;
}

} // namespace

class StopTest : public WindowTestBase {
    Q_OBJECT
private:
    QString m_projectDirectory;

    QString pane() { return m_window->findChild<QTextEdit*>("outputBox")->toPlainText(); }

    void openProject(const QStringList& files)
    {
        const QString path = m_kit->writeProject("projects/game/game.vnp", "game", files);
        m_projectDirectory = QFileInfo(path).absolutePath() + "/";
        openWindow(path);
        QVERIFY(m_window->projectManager().getProject());
    }

    // Runs `check` on the GUI thread once a tool has noted its group.
    void whenToolRuns(std::function<void()> check)
    {
        auto* poll = new QTimer(m_window.get());
        connect(poll, &QTimer::timeout, this, [=, this] {
            if (!toolGroups().isEmpty()) {
                poll->stop();
                check();
            }
        });
        poll->start(10);
    }

    QList<pid_t> toolGroups()
    {
        QList<pid_t> groups;
        for (const QByteArray& line : m_kit->readFile("groups").split('\n')) {
            if (line.trimmed().toInt() > 1)
                groups << static_cast<pid_t>(line.trimmed().toInt());
        }
        return groups;
    }

    bool allGone()
    {
        for (pid_t group : toolGroups()) {
            if (!groupGone(group))
                return false;
        }
        return true;
    }

private slots:
    void initTestCase() { startSuite(); }
    void init() { startTest(); }
    void cleanup() { endTest(); }

    void stopEndsTheToolTree_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("notAfter");

        // bash waits for its sleep: a tree of two.
        QTest::newRow("compile") << "xgcc" << hanging("echo hanging; sleep 600\n") << "Running: lintel";
        QTest::newRow("link") << "lintel" << hanging("echo hanging; sleep 600\n") << "/bin/zip";
        // Half a JAR written when the stop comes.
        QTest::newRow("zip") << "zip"
                             << hanging("for a; do case \"$a\" in *.jar) echo half > \"$a\";; esac; done\n"
                                        "echo hanging; sleep 600\n")
                             << "Build complete";
        QTest::newRow("ignores SIGTERM")
            << "xgcc" << hanging("trap '' TERM; echo hanging; while :; do sleep 0.05; done\n") << "Running: lintel";
        // The background child keeps the output pipe and ignores SIGTERM.
        QTest::newRow("background child holding the pipe")
            << "xgcc" << hanging("(trap '' TERM; while :; do sleep 0.05; done) & echo hanging; sleep 600\n")
            << "Running: lintel";
        // This one lets go of the pipe, so it outlives its parent unseen.
        QTest::newRow("detached background child")
            << "xgcc"
            << hanging("sh -c 'trap \"\" TERM; exec sleep 600' </dev/null >/dev/null 2>&1 &\necho hanging; sleep 600\n")
            << "Running: lintel";
        // Stop ends a send to a phone that does not answer the same way.
        QTest::newRow("send") << "sendel" << hanging("echo waiting for the phone; sleep 600\n")
                              << "Sending to phone failed";
    }

    void stopEndsTheToolTree()
    {
        QFETCH(QString, tool);
        QFETCH(QByteArray, body);
        QFETCH(QString, notAfter);
        m_kit->writeTool(tool, body);
        openProject({"./main.c", "./second.c"});
        QAction* stop = action(m_window.get(), "actionStopBuild");
        QVERIFY(!stop->isEnabled());
        bool wasEnabled = false;
        // The number of jobs cannot change under a running build.
        auto* jobs = m_window->findChild<QSpinBox*>("spinJobs");
        bool jobsEnabled = true;
        whenToolRuns([&] {
            wasEnabled = stop->isEnabled();
            jobsEnabled = jobs->isEnabled();
            stop->trigger();
        });
        const bool send = tool == "sendel";
        bool success = true;
        if (send)
            action(m_window.get(), "actionSend_to_phone")->trigger();
        else
            m_window->build(true, &success);
        QVERIFY(!success || send);
        QVERIFY(wasEnabled);
        QVERIFY(!toolGroups().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(allGone(), 5000);

        const QString text = pane();
        const QString stopped = QString::fromLatin1(send ? Brask::kSendStoppedLine : Brask::kBuildStoppedLine);
        QVERIFY2(text.endsWith(stopped), qPrintable(text));
        QCOMPARE(text.count(stopped), 1);
        QVERIFY2(!text.contains(notAfter), qPrintable(text));
        QVERIFY(!text.contains("Tool returned error"));
        QCOMPARE(m_dialogs.messages.size(), 0);
        QVERIFY(!stop->isEnabled());
        QVERIFY(action(m_window.get(), "actionBuild")->isEnabled());
        QVERIFY(!jobsEnabled && jobs->isEnabled());
        // A stopped build's summary says so; a send leaves no build summary.
        const QString summary = m_window->findChild<QLabel*>("buildSummary")->text();
        QVERIFY2(send ? summary.isEmpty() : summary.startsWith("Build stopped, ") && summary.endsWith(" s"),
                 qPrintable(summary));
        // No JAR, whole or half, below Output.
        QDir output(m_projectDirectory + "Output");
        for (const QString& entry : output.entryList(QDir::AllDirs | QDir::NoDotAndDotDot))
            QVERIFY2(QDir(output.filePath(entry)).entryList({"*.jar", "*.part"}, QDir::Files).isEmpty(),
                     qPrintable(entry));
    }

    void zipStopReallyReachedPackaging()
    {
        // Guards the zip row above: the fake zip is run and would leave its JAR.
        m_kit->writeTool("zip", "for a; do case \"$a\" in *.jar.part) echo half > \"$a\";; esac; done\n");
        openProject({"./main.c"});
        m_window->build(false);
        QVERIFY2(QFile::exists(m_projectDirectory + "Output/1/game.jar"), qPrintable(pane()));
    }

    void escapeInThePaneStopsBuildAndRun()
    {
        m_kit->writeTool("xgcc", hanging("echo hanging; sleep 600\n"));
        openProject({"./main.c"});
        m_window->show();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto* box = m_window->findChild<QTextEdit*>("outputBox");
        whenToolRuns([&] { QTest::keyClick(box, Qt::Key_Escape); });
        m_window->buildAndRun();
        QVERIFY(!toolGroups().isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(allGone(), 5000);
        QVERIFY2(pane().endsWith("Build stopped.\n"), qPrintable(pane()));
        QVERIFY(m_starter.started.isEmpty());
        QCOMPARE(m_dialogs.messages.size(), 0);

        // The next build runs normally again.
        m_kit->writeTool("xgcc", "echo compiled\n");
        m_window->build();
        QVERIFY(!pane().contains("Build stopped."));
        QCOMPARE(m_dialogs.titles(), QStringList{"Build complete!"});
    }

    void stopIsInTheBuildMenuAndOnTheToolbar()
    {
        openProject({"./main.c"});
        QAction* stop = action(m_window.get(), "actionStopBuild");
        QCOMPARE(QString(stop->text()).remove('&'), QString("Stop build"));
        QList<QWidget*> places;
        for (QObject* object : stop->associatedObjects()) {
            if (auto* widget = qobject_cast<QWidget*>(object))
                places << widget;
        }
        bool inMenu = false;
        bool onToolbar = false;
        for (QWidget* place : places) {
            inMenu = inMenu || place->objectName() == "menuBuild";
            onToolbar = onToolbar || place->objectName() == "toolBar";
        }
        QVERIFY(inMenu);
        QVERIFY(onToolbar);
    }
};

QTEST_MAIN(StopTest)
#include "stop_test.moc"
