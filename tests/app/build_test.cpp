// Builds through the window with fake tools: the transcript in the pane, the
// boxes, Build and Run, and what may happen while a command runs.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/output/OutputPanel.h"
#include "core/ProjectManager.h"
#include "core/update/InstallLock.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QMenu>
#include <QToolBar>
#include <QTreeWidget>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <functional>

namespace {

QAction* action(QWidget* window, const char* name)
{
    auto* found = window->findChild<QAction*>(name);
    if (!found)
        qFatal("no action %s", name);
    return found;
}

// Positions of `needles` in `text`; -1 for a missing one.
QList<qsizetype> positions(const QString& text, const QStringList& needles)
{
    QList<qsizetype> out;
    for (const QString& needle : needles)
        out << text.indexOf(needle);
    return out;
}

} // namespace

class BuildTest : public WindowTestBase {
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

    // Runs `check` on the GUI thread once the pane shows `marker` (the build
    // is then inside a running command), polling from the event loop.
    void whenPaneShows(const QString& marker, std::function<void()> check)
    {
        auto* poll = new QTimer(m_window.get());
        connect(poll, &QTimer::timeout, this, [=, this] {
            if (pane().contains(marker)) {
                poll->stop();
                check();
            }
        });
        poll->start(10);
    }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
    }

    void cleanup() { endTest(); }

    void successfulBuildShowsTranscriptInOrder()
    {
        m_kit->writeFile("projects/game/main.c", "int main(void) { return 0; }\n");
        openProject({"./main.c", "./util.c"});
        action(m_window.get(), "actionBuild")->trigger();
        const QString text = pane();
        const QString xgcc = "Running: " + m_kit->root() + "/bin/xgcc";
        const QList<qsizetype> at = positions(text, {xgcc, "compiling " + m_projectDirectory + "./main.c",
                                                     "compiling " + m_projectDirectory + "./util.c",
                                                     "Running: lintel", "linking", "Build complete, time: "});
        for (int i = 0; i < at.size(); ++i)
            QVERIFY2(at[i] >= 0 && (i == 0 || at[i] > at[i - 1]), qPrintable(QString::number(i) + "\n" + text));
        QCOMPARE(text.count(xgcc), 2);
        QCOMPARE(m_dialogs.titles(), QStringList{"Build complete!"});
        QCOMPARE(m_dialogs.messages[0].text, QString("The build completed successfully"));
        QVERIFY(action(m_window.get(), "actionBuild")->isEnabled());
        QVERIFY(!m_window->isBusy());
    }

    void buildBeforeTheDatabaseIsReadWaitsForIt()
    {
        // An update's swap holds the window's read back until the build waits.
        Brask::InstallLock swap(m_kit->root().toStdString(), Brask::InstallLock::Database);
        std::string error;
        QCOMPARE(swap.acquire(0, nullptr, error), Brask::InstallLock::Taken);
        m_kit->writeFile("projects/game/main.c", "int main(void) { return 0; }\n");
        openWindow(m_kit->writeProject("projects/game/game.vnp", "game", {"./main.c"}), false);
        QTreeWidget* tree = m_window->findChild<QTreeWidget*>("profileTree");
        QCOMPARE(tree->topLevelItem(0)->text(0), QString("Reading profiles..."));
        QCOMPARE(m_window->findChild<QTreeWidget*>("projectTree")->topLevelItem(0)->text(0), QString("game"));
        if (!qEnvironmentVariableIsEmpty("VARBUILD_GRAB_DIR"))
            m_window->grab().save(qEnvironmentVariable("VARBUILD_GRAB_DIR") + "/loading.png");
        const QString waiting = "Waiting for the device profiles to be read...";
        whenPaneShows(waiting, [&] { swap.release(); });
        action(m_window.get(), "actionBuild")->trigger();
        const QString waited = pane();
        QVERIFY2(waited.indexOf("Running: lintel") < waited.indexOf(waiting), qPrintable(waited));
        QCOMPARE(tree->topLevelItem(0)->text(0), QString("Acme"));

        // Once read, the same build runs, the wait aside.
        action(m_window.get(), "actionBuild")->trigger();
        const auto steps = [&](QString text) {
            text.remove(waiting + "\n");
            return text.remove(QRegularExpression("time: [^\n]*"));
        };
        QCOMPARE(steps(waited), steps(pane()));
        QVERIFY2(pane().contains("profiles/runtimes/1"), qPrintable(pane()));
        QCOMPARE(m_dialogs.titles(), (QStringList{"Build complete!", "Build complete!"}));
    }

    void failingCompileEndsBuildWithErrorBox()
    {
        m_kit->writeTool("xgcc", "echo \"${@: -1}:3: error: broken\" >&2; exit 1\n");
        openProject({"./bad.c", "./never.c"});
        bool success = true;
        m_window->build(true, &success);
        QVERIFY(!success);
        const QString text = pane();
        QVERIFY2(text.contains(m_projectDirectory + "./bad.c:3: error: broken"), qPrintable(text));
        QVERIFY(text.contains("Tool returned error: 1"));
        QVERIFY(!text.contains("never.c:3"));
        QVERIFY(!text.contains("Running: lintel"));
        QCOMPARE(m_dialogs.titles(), QStringList{"Build error"});
        QCOMPARE(m_dialogs.messages[0].text, QString("There were build errors."));
    }

    void missingCompilerReportsTheFailedStep()
    {
        QFile::remove(m_kit->path("bin/xgcc"));
        openProject({"./main.c"});
        m_window->build();
        const QString text = pane();
        QVERIFY2(text.contains("Error 2 on line 721"), qPrintable(text));
        QVERIFY(text.contains("Tool returned error: 2"));
        QCOMPARE(m_dialogs.titles(), QStringList{"Build error"});
    }

    void selectingAnErrorLineOpensTheFile()
    {
        m_kit->writeTool("xgcc", "echo \"${@: -1}:42: error: broken\"; exit 1\n");
        openProject({"./bad.c"});
        m_window->build();
        m_window->show();
        auto* box = m_window->findChild<QTextEdit*>("outputBox");
        const QString line = m_projectDirectory + "./bad.c:42: error: broken";
        QTextCursor cursor(box->document());
        cursor.setPosition(int(pane().indexOf(line) + line.indexOf("error")) + 2);
        const QPoint point = box->cursorRect(cursor).center();
        m_starter.started.clear();
        QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, point);
        QTRY_VERIFY(!m_starter.started.isEmpty());
        QCOMPARE(m_starter.started.first(),
                 m_kit->root() + "/bin/editor -n42 " + m_projectDirectory + "./bad.c");

        // A "Running: " line names no file with an extension: nothing starts.
        m_starter.started.clear();
        cursor.setPosition(int(pane().indexOf("Running: ")) + 2);
        QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, box->cursorRect(cursor).center());
        QTest::qWait(0);
        QCOMPARE(m_starter.started, QStringList());
    }

    // Build Changed (Ctrl+F7, menu and toolbar) with the compiler launcher of
    // the preferences, which VARBUILD_COMPILER_LAUNCHER overrides.
    void buildChangedRunsOnlyWhatChanged()
    {
        m_kit->writeTool("xgcc", "out=; dep=; prev=\nfor a; do [ \"$prev\" = -o ] && out=$a; [ \"$prev\" = -MF ] && dep=$a; "
                                 "prev=$a; done\necho \"compiling ${@: -1}\"; echo \"; asm\" > \"$out\"\n"
                                 "[ -z \"$dep\" ] || echo \"$out: ${@: -1}\" > \"$dep\"\n");
        m_kit->writeFile("projects/game/a.c", "int a;\n");
        m_kit->writeFile("projects/game/b.c", "int b;\n");
        openProject({"./a.c", "./b.c"});
        QSettings("Varnel", "VarBuild").setValue("build/compilerLauncher", "env STORED=1");
        QAction* changed = action(m_window.get(), "actionBuildChanged");
        QCOMPARE(changed->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F7));
        QVERIFY(m_window->findChild<QToolBar*>("toolBar")->actions().contains(changed));
        QVERIFY(m_window->findChild<QMenu*>("menuBuild")->actions().contains(changed));
        const QString compile = "Running: env STORED=1 " + m_kit->root() + "/bin/xgcc -g -o " + m_projectDirectory;

        changed->trigger();
        QCOMPARE(pane().count(compile), 2);
        QVERIFY2(pane().contains("Build Changed: 2 compiled, 0 up to date; link ran; 1 package made, 0 up to date\n"),
                 qPrintable(pane()));
        QCOMPARE(m_dialogs.titles(), QStringList{"Build complete!"});

        m_kit->writeFile("projects/game/a.c", "int a = 1;\n");
        qputenv("VARBUILD_COMPILER_LAUNCHER", "env FROM_ENVIRONMENT=1");
        changed->trigger();
        qunsetenv("VARBUILD_COMPILER_LAUNCHER");
        QCOMPARE(pane().count("Running: env FROM_ENVIRONMENT=1 "), 1);
        QVERIFY2(pane().contains("Build Changed: 1 compiled, 1 up to date; link ran;"), qPrintable(pane()));
        QVERIFY(m_window->findChild<QLabel*>("buildSummary")->text().startsWith("Build Changed: 1 compiled, 1 up to date"));

        // Build itself stays as it was: everything runs, no header lists.
        action(m_window.get(), "actionBuild")->trigger();
        QCOMPARE(pane().count(compile), 2);
        QVERIFY(!pane().contains("-MD") && !pane().contains("Build Changed"));
        QSettings("Varnel", "VarBuild").remove("build/compilerLauncher");
    }

    void buildAndRunStartsEmulatorWithoutBox()
    {
        openProject({"./main.c"});
        m_window->projectManager().getProject()->setProperty("screenWidth", "176");
        action(m_window.get(), "actionRun")->trigger();
        QCOMPARE(m_dialogs.messages.size(), 0);
        const QString dir = m_projectDirectory;
        QCOMPARE(m_starter.started, QStringList{m_kit->root() + "/bin/Ombra -program " + dir + "/Output/program"
                                                + " -resource " + dir + "/Output/resources -resolution 176 320"});
    }

    void buildAndRunAfterFailureStartsNothing()
    {
        m_kit->writeTool("lintel", "exit 4\n");
        openProject({"./main.c"});
        m_window->buildAndRun();
        QCOMPARE(m_dialogs.titles(), QStringList{"Build error"});
        QVERIFY(m_starter.started.isEmpty());
    }

    void noSecondBuildWhileOneRuns()
    {
        m_kit->writeTool("xgcc", "echo waiting; while [ ! -e \"$VARNELDIR/release\" ]; do sleep 0.02; done\n");
        openProject({"./main.c"});
        bool checked = false;
        whenPaneShows("waiting", [&] {
            for (const char* name : {"actionBuild", "actionBuildChanged", "actionRun", "actionNew_Project", "actionOpen",
                                     "actionImport_vcproj", "actionImportVisualStudio", "actionSave", "actionSelect_phone",
                                     "actionSend_to_phone", "actionUpdate_profile_database", "actionPreferences"})
                QVERIFY2(!action(m_window.get(), name)->isEnabled(), name);
            QVERIFY(m_window->isBusy());
            action(m_window.get(), "actionBuild")->trigger();
            bool nested = true;
            m_window->build(true, &nested);
            QVERIFY(!nested);
            m_window->buildAndRun();
            checked = true;
            m_kit->writeFile("release", "");
        });
        m_window->build();
        QVERIFY(checked);
        QCOMPARE(pane().count("Running: " + m_kit->root() + "/bin/xgcc"), 1);
        QCOMPARE(m_dialogs.titles(), QStringList{"Build complete!"});
        QVERIFY(m_starter.started.isEmpty());
        QVERIFY(action(m_window.get(), "actionBuild")->isEnabled());
    }

    void closingDuringBuildStopsItAndQuits()
    {
        m_kit->writeTool("xgcc", "echo hanging; exec sleep 600\n");
        // One job: a compile's output reaches the pane while it runs (side by
        // side compiles hold theirs back until they end).
        QSettings("Varnel", "VarBuild").setValue("build/jobs", 1);
        openProject({"./main.c", "./second.c"});
        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        whenPaneShows("hanging", [&] {
            m_window->close();
            // Deferred: the command is being stopped, nothing saved or quit yet.
            QVERIFY(m_window->isBusy());
            QCOMPARE(quitting.count(), 0);
        });
        m_window->show();
        m_window->build();
        QTRY_COMPARE(quitting.count(), 1);
        QCOMPARE(pane().count("Running: " + m_kit->root() + "/bin/xgcc"), 1);
        QVERIFY(!pane().contains("Running: lintel"));
        QCOMPARE(m_dialogs.messages.size(), 0);
        QSettings("Varnel", "VarBuild").remove("build/jobs");
    }
};

QTEST_MAIN(BuildTest)
#include "build_test.moc"
