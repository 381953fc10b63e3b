// The main window without builds: controls, project-file flows, the project
// tree and opening files with their tools.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/panels/ProjectPanel.h"
#include "app/RecentProjects.h"
#include "core/ProjectManager.h"
#include "util/Version.h"

#include <QAction>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

QAction* action(QWidget* window, const char* name)
{
    auto* found = window->findChild<QAction*>(name);
    if (!found)
        qFatal("no action %s", name);
    return found;
}

QStringList actionTexts(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* a : menu->actions())
        texts << a->text();
    return texts;
}

QAction* menuAction(const QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    qFatal("no menu entry %s", qPrintable(text));
}

QImage iconImage(const QIcon& icon)
{
    return icon.isNull() ? QImage() : icon.pixmap(16, 16).toImage();
}

// Every item of the tree, depth-first, as "indent + text".
QStringList treeTexts(QTreeWidget* tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        out << QString(depth * 2, ' ') + item->text(0);
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}

QTreeWidgetItem* findItem(QTreeWidget* tree, const QString& text)
{
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

} // namespace

class WindowTest : public WindowTestBase {
    Q_OBJECT
private:

    QTreeWidget* tree() { return m_window->findChild<QTreeWidget*>("projectTree"); }
    ProjectPanel* panel() { return m_window->projectPanel(); }
    QString pane() { return m_window->findChild<QTextEdit*>("outputBox")->toPlainText(); }
    void open(const QString& path)
    {
        m_dialogs.nextFileNames << path;
        action(m_window.get(), "actionOpen")->trigger();
    }
    void checkProjectControls(bool enabled)
    {
        for (const char* name : {"actionSave", "actionBuild", "actionBuildChanged", "actionRun", "actionSend_to_phone"})
            QVERIFY2(action(m_window.get(), name)->isEnabled() == enabled, name);
        for (const char* name : {"gccGroup", "miscGroup", "buildTypeGroup", "addCriterionButton",
                                 "deleteCriterionButton", "lineScreenWidth", "lineScreenHeight"})
            QVERIFY2(m_window->findChild<QWidget*>(name)->isEnabled() == enabled, name);
    }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        openWindow();
    }

    void cleanup() { endTest(); }

    void controlsWithoutProject()
    {
        checkProjectControls(false);
        for (const char* name : {"actionNew_Project", "actionOpen", "actionImport_vcproj", "actionImportVisualStudio",
                                 "actionPreferences",
                                 "actionUpdate_profile_database", "actionCheck_for_updates", "actionInvite",
                                 "actionSend_feedback", "actionVarnel_Help", "actionAbout_Varnel",
                                 "actionSelect_phone", "actionQuit"})
            QVERIFY2(action(m_window.get(), name)->isEnabled(), name);
        QVERIFY(!action(m_window.get(), "actionSave_file")->isEnabled());
        QVERIFY(!action(m_window.get(), "actionClose_file")->isEnabled());
        QCOMPARE(m_window->windowTitle(), QString("VarBuild"));
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QVERIFY(panel()->menuForSelection() == nullptr);
    }

    void newProjectWritesFileAndEnablesControls()
    {
        const QString path = m_kit->path("projects/game/game.v1.vnp");
        QDir().mkpath(m_kit->path("projects/game"));
        m_dialogs.nextFileNames << path;
        action(m_window.get(), "actionNew_Project")->trigger();
        QCOMPARE(m_dialogs.askedCaptions, QStringList{"Save project"});
        QVERIFY(QFile::exists(path));
        QVERIFY(m_kit->readFile(path).contains("game"));
        QCOMPARE(panel()->projectFilePath(), path);
        QCOMPARE(QDir::currentPath(), m_kit->path("projects/game"));
        QCOMPARE(treeTexts(tree()), QStringList{"game"});
        checkProjectControls(true);
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void cancelledDialogsChangeNothing()
    {
        action(m_window.get(), "actionNew_Project")->trigger();
        action(m_window.get(), "actionOpen")->trigger();
        action(m_window.get(), "actionImport_vcproj")->trigger();
        QCOMPARE(m_dialogs.askedCaptions, (QStringList{"Save project", "Open Project", "Import Project"}));
        QVERIFY(!m_window->projectManager().getProject());
        checkProjectControls(false);
    }

    void openShowsItemsIconsAndOrder()
    {
        const QString path = m_kit->writeProject("projects/demo/demo.vnp", "demo",
                                                 {"./main.c", "./x.CPP", "./readme.txt", "src/", "./src/b.h",
                                                  "./src/r.lst", "./src/start.s", "./src/a.cc", "./Makefile"});
        open(path);
        QCOMPARE(treeTexts(tree()), (QStringList{"demo", "  main.c", "  x.CPP", "  readme.txt", "  src", "    b.h",
                                                 "    r.lst", "    start.s", "    a.cc", "    Makefile"}));
        QCOMPARE(tree()->headerItem()->text(0), QString("demo"));
        QVERIFY(tree()->topLevelItem(0)->isExpanded());
        const QString gfx = m_kit->path("bin/gfx/");
        const struct {
            const char* item;
            const char* icon;
        } expected[] = {{"demo", "ikon16x16.png"}, {"main.c", "c.png"}, {"x.CPP", "cpp.png"}, {"src", "folder_closed.png"},
                        {"b.h", "h.png"}, {"r.lst", "pacman.png"}, {"start.s", "s.png"}, {"a.cc", "cpp.png"}};
        for (const auto& row : expected)
            QVERIFY2(iconImage(findItem(tree(), row.item)->icon(0)) == iconImage(QIcon(gfx + row.icon)), row.item);
        // No picture, but an empty one that keeps the names in line.
        const QImage blank = iconImage(findItem(tree(), "readme.txt")->icon(0));
        QVERIFY(!blank.isNull());
        QVERIFY(blank.convertToFormat(QImage::Format_ARGB32).pixel(8, 8) == 0);
        QVERIFY(iconImage(findItem(tree(), "Makefile")->icon(0)) == blank);
        QCOMPARE(QDir::currentPath(), m_kit->path("projects/demo"));
        checkProjectControls(true);
    }

    void contextMenusFollowTheSelection()
    {
        open(m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c", "src/", "./src/a.c"}));
        tree()->setSelectionMode(QAbstractItemView::ExtendedSelection);
        tree()->clearSelection();
        QVERIFY(panel()->menuForSelection() == nullptr);
        tree()->topLevelItem(0)->setSelected(true);
        QCOMPARE(actionTexts(panel()->menuForSelection()), (QStringList{"Add new item...", "Add existing item..."}));
        findItem(tree(), "main.c")->setSelected(true);
        QVERIFY2(panel()->menuForSelection() == nullptr, "two items selected");
        tree()->clearSelection();
        findItem(tree(), "src")->setSelected(true);
        QCOMPARE(actionTexts(panel()->menuForSelection()),
                 (QStringList{"Add new item...", "Add existing item...", "Remove"}));
        tree()->clearSelection();
        findItem(tree(), "a.c")->setSelected(true);
        QCOMPARE(actionTexts(panel()->menuForSelection()), (QStringList{"Open", "Remove"}));
    }

    void addNewAndExistingItems()
    {
        const QString path = m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c", "src/"});
        open(path);
        m_kit->writeFile("projects/demo/src/old.c", "int x;\n");
        m_kit->writeFile("projects/other/lib.h", "\n");

        findItem(tree(), "src")->setSelected(true);
        m_dialogs.nextFileNames << m_kit->path("projects/demo/src/old.c");
        menuAction(panel()->menuForSelection(), "Add new item...")->trigger();
        QCOMPARE(m_kit->readFile("projects/demo/src/old.c"), QByteArray()); // "new" empties an existing file
        QCOMPARE(panel()->itemDirectory(), m_kit->path("projects/demo/src"));

        tree()->clearSelection();
        tree()->topLevelItem(0)->setSelected(true);
        m_dialogs.nextFileNames << m_kit->path("projects/other/lib.h") << m_kit->path("projects/other/lib.h");
        menuAction(panel()->menuForSelection(), "Add existing item...")->trigger();
        tree()->topLevelItem(0)->setSelected(true);
        menuAction(panel()->menuForSelection(), "Add existing item...")->trigger();
        QCOMPARE(m_dialogs.askedCaptions.mid(1), (QStringList{"Add new item", "Add existing item", "Add existing item"}));

        QCOMPARE(treeTexts(tree()), (QStringList{"demo", "  main.c", "  src", "    old.c", "  lib.h", "  lib.h"}));
        QVERIFY(iconImage(findItem(tree(), "old.c")->icon(0)) == iconImage(QIcon(m_kit->path("bin/gfx/c.png"))));
        action(m_window.get(), "actionSave")->trigger();
        const QByteArray saved = m_kit->readFile(path);
        QVERIFY2(saved.contains("./src/old.c"), saved.constData());
        QVERIFY2(saved.contains("../other/lib.h"), saved.constData());
    }

    void removeLeavesDiskAndFileUntilSave()
    {
        m_kit->writeFile("projects/demo/main.c", "int main;\n");
        const QString path = m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c", "./b.c"});
        open(path);
        const QByteArray before = m_kit->readFile(path);
        findItem(tree(), "main.c")->setSelected(true);
        menuAction(panel()->menuForSelection(), "Remove")->trigger();
        QCOMPARE(treeTexts(tree()), (QStringList{"demo", "  b.c"}));
        QVERIFY(QFile::exists(m_kit->path("projects/demo/main.c")));
        QCOMPARE(m_kit->readFile(path), before);
        action(m_window.get(), "actionSave")->trigger();
        QVERIFY(!m_kit->readFile(path).contains("main.c"));
    }

    void renamingTheRootRenamesTheProject()
    {
        const QString path = m_kit->writeProject("projects/demo/demo.vnp", "first", {"./main.c"});
        open(path);
        m_window->show();
        QTreeWidgetItem* root = tree()->topLevelItem(0);
        tree()->editItem(root, 0);
        auto* editor = tree()->viewport()->findChild<QLineEdit*>();
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, "renamed");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(QString::fromStdString(m_window->projectManager().getProject()->getName()), QString("renamed"));
        action(m_window.get(), "actionSave")->trigger();
        QVERIFY(m_kit->readFile(path).contains("renamed"));
    }

    void openingFilesStartsTheirTool()
    {
        const QString path = m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c", "src/", "./src/notes"});
        open(path);
        m_window->show();
        auto clickTwice = [&](const QString& text) {
            QTreeWidgetItem* item = findItem(tree(), text);
            const QRect rect = tree()->visualItemRect(item);
            QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, rect.center());
            QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {}, rect.center());
        };
        clickTwice("src");
        clickTwice("notes"); // no extension: nothing to start
        QCOMPARE(m_starter.started, QStringList());
        clickTwice("main.c");
        const QString editor = m_kit->root() + "/bin/editor -n0 " + m_kit->path("projects/demo/") + "./main.c";
        QCOMPARE(m_starter.started, QStringList{editor});
        QCOMPARE(QString::fromStdString(panel()->currentFile()->getPath()), QString("./main.c"));

        m_starter.succeed = false;
        menuAction(panel()->fileMenu(), "Open")->trigger();
        QCOMPARE(m_dialogs.titles(), QStringList{"Tool error"});
    }

    void failedOpenReturnsToNoProject()
    {
        open(m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c"}));
        checkProjectControls(true);
        m_kit->writeFile("projects/broken.vnp", "this is no project");
        open(m_kit->path("projects/broken.vnp"));
        QVERIFY(!m_window->projectManager().getProject());
        checkProjectControls(false);
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QVERIFY(panel()->menuForSelection() == nullptr);
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void damagedFileIsNotOverwritten()
    {
        const QString path = m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c", "./b.c"});
        QByteArray text = m_kit->readFile(path);
        text.truncate(text.indexOf("b.c"));
        m_kit->writeFile("projects/demo/demo.vnp", text);

        open(path);
        QVERIFY(m_window->projectManager().getProject());
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0].title, QString("VarBuild"));
        QVERIFY(m_dialogs.messages[0].text.contains(path));
        QVERIFY(m_dialogs.messages[0].text.contains("Only part"));

        action(m_window.get(), "actionSave")->trigger(); // cancelled
        QCOMPARE(m_dialogs.askedCaptions.last(), QString("Save project"));
        QCOMPARE(m_kit->readFile(path), text);

        const QString copy = m_kit->path("projects/demo/recovered.vnp");
        m_dialogs.nextFileNames << copy;
        action(m_window.get(), "actionSave")->trigger();
        QCOMPARE(m_kit->readFile(path), text);
        QVERIFY(m_kit->readFile(copy).contains("main.c"));
        QCOMPARE(m_dialogs.messages.size(), 1);
    }

    void failedSaveWarnsAndQuitStillQuits()
    {
        const QString path = m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c"});
        open(path);
        QFile::remove(path);
        QDir().mkpath(path); // the target is now a directory: the write fails
        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        action(m_window.get(), "actionQuit")->trigger();
        QCOMPARE(quitting.count(), 1);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0].title, QString("VarBuild"));
        QVERIFY(m_dialogs.messages[0].text.contains(path));
    }

    void quitSavesTheProject()
    {
        const QString path = m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c"});
        open(path);
        m_window->projectManager().getProject()->setName("changed");
        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        m_window->doQuit();
        QCOMPARE(quitting.count(), 1);
        QVERIFY(m_kit->readFile(path).contains("changed"));
        QVERIFY(m_dialogs.askedCaptions.size() == 1); // only the open dialog
    }

    void importedProjectAsksOnQuit()
    {
        m_kit->writeFile("projects/vc/game.vcproj",
                         "<?xml version=\"1.0\"?>\n<VisualStudioProject Version=\"8.00\" Name=\"vcgame\">\n<Files>\n"
                         "<File RelativePath=\".\\main.cpp\"></File>\n</Files>\n</VisualStudioProject>\n");
        m_dialogs.nextFileNames << m_kit->path("projects/vc/game.vcproj");
        action(m_window.get(), "actionImport_vcproj")->trigger();
        QVERIFY(m_window->projectManager().getProject());
        checkProjectControls(true);
        QCOMPARE(panel()->projectFilePath(), QString());
        QCOMPARE(QDir::currentPath(), m_kit->path("projects/vc"));

        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        m_window->doQuit(); // the save dialog is cancelled: nothing written, still quits
        QCOMPARE(m_dialogs.askedCaptions.last(), QString("Save project"));
        QCOMPARE(quitting.count(), 1);
        QCOMPARE(QDir(m_kit->path("projects/vc")).entryList({"*.vnp"}), QStringList());
    }

    void failedImportReturnsToNoProject()
    {
        open(m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c"}));
        m_kit->writeFile("projects/vc/bad.vcproj", "garbage");
        m_dialogs.nextFileNames << m_kit->path("projects/vc/bad.vcproj");
        action(m_window.get(), "actionImport_vcproj")->trigger();
        QVERIFY(!m_window->projectManager().getProject());
        checkProjectControls(false);
        QCOMPARE(tree()->topLevelItemCount(), 0);
    }

    // File > Import Visual Studio Project...: the save question first, folders
    // from the filters file, what was read in the pane, a recent entry that
    // imports again; a refused file is named in a box and the open project
    // stays.
    void visualStudioImport()
    {
        open(m_kit->writeProject("projects/demo/demo.vnp", "demo", {"./main.c"}));
        m_kit->writeFile("projects/vs/game.vcxproj",
                         "<Project><Import Project=\"$(VCTargetsPath)\\Microsoft.Cpp.props\" /><ItemGroup>"
                         "<ClCompile Include=\"main.c\" /><ClInclude Include=\"main.h\" /></ItemGroup></Project>");
        m_kit->writeFile("projects/vs/game.vcxproj.filters",
                         "<Project><ItemGroup><ClCompile Include=\"main.c\"><Filter>Source Files</Filter>"
                         "</ClCompile></ItemGroup></Project>");
        m_kit->writeFile("projects/vs/all.sln", "Microsoft Visual Studio Solution File, Format Version 12.00\n");
        m_dialogs.nextFileNames << m_kit->path("projects/vs/game.vcxproj");
        action(m_window.get(), "actionImportVisualStudio")->trigger();
        QCOMPARE(m_dialogs.askedCaptions.last(), QString("Import Visual Studio Project"));
        QCOMPARE(m_dialogs.askedFilters.last(), QString("Visual Studio projects (*.vcxproj *.vcproj);;All Files (*)"));
        QCOMPARE(treeTexts(tree()), (QStringList{"game", "  Source Files", "    main.c", "  main.h"}));
        QCOMPARE(panel()->projectFilePath(), QString());
        QVERIFY(pane().contains("Imported " + m_kit->path("projects/vs/game.vcxproj")
                                + ": MSBuild Visual C++ project (.vcxproj), folders from game.vcxproj.filters"));
        QVERIFY(pane().contains("2 of 2 files are not there (the first is main.c)"));
        QCOMPARE(RecentProjects::stored().first(), m_kit->path("projects/vs/game.vcxproj"));

        Brask::Project* imported = m_window->projectManager().getProject();
        m_dialogs.nextSaveAnswers << UserDialogs::SaveAnswer::Discard;
        m_dialogs.nextFileNames << m_kit->path("projects/vs/all.sln");
        action(m_window.get(), "actionImportVisualStudio")->trigger();
        QCOMPARE(m_dialogs.saveQuestions.size(), 1);
        QCOMPARE(m_dialogs.titles(), QStringList{"Import Visual Studio Project"});
        QVERIFY(m_dialogs.messages.last().text.startsWith(m_kit->path("projects/vs/all.sln")
                                                          + " is a Visual Studio solution"));
        QCOMPARE(m_window->projectManager().getProject(), imported);
        checkProjectControls(true);

        open(m_kit->path("projects/demo/demo.vnp"));
        QMenu* menu = m_window->findChild<QMenu*>("menuRecent_Projects");
        menuAction(menu, "&2 game.vcxproj - " + m_kit->path("projects/vs"))->trigger();
        QCOMPARE(treeTexts(tree()).first(), QString("game"));
    }

    // Opened, imported and saved files, most recent first, eight at most; a
    // file that is gone is shown disabled and can be removed.
    void recentProjectsMenu()
    {
        QSettings("Varnel", "VarBuild").remove("recentProjects");
        QStringList paths;
        for (int i = 0; i < 9; ++i)
            paths << m_kit->writeProject(QString("projects/p%1/p%1.vnp").arg(i), QString("p%1").arg(i), {"./main.c"});
        for (const QString& path : paths)
            open(path);
        open(paths[3]);
        QMenu* menu = m_window->findChild<QMenu*>("menuRecent_Projects");
        QVERIFY(menu);
        QVERIFY(actionTexts(m_window->findChild<QMenu*>("menuFile")).contains("&Recent Projects"));
        QCOMPARE(RecentProjects::stored(),
                 (QStringList{paths[3], paths[8], paths[7], paths[6], paths[5], paths[4], paths[2], paths[1]}));
        QCOMPARE(actionTexts(menu).first(), "&1 p3.vnp - " + m_kit->path("projects/p3"));
        QCOMPARE(actionTexts(menu).last(), QString("Clear list"));

        m_kit->writeFile("projects/vc/game.vcproj",
                         "<?xml version=\"1.0\"?>\n<VisualStudioProject Version=\"8.00\" Name=\"vcgame\">\n<Files>\n"
                         "<File RelativePath=\".\\main.cpp\"></File>\n</Files>\n</VisualStudioProject>\n");
        m_dialogs.nextFileNames << m_kit->path("projects/vc/game.vcproj") << m_kit->path("projects/vc/saved.vnp");
        action(m_window.get(), "actionImport_vcproj")->trigger();
        action(m_window.get(), "actionSave")->trigger();
        QCOMPARE(RecentProjects::stored().mid(0, 3),
                 (QStringList{m_kit->path("projects/vc/saved.vnp"), m_kit->path("projects/vc/game.vcproj"), paths[3]}));

        // Choosing the imported entry imports it again.
        menuAction(menu, "&2 game.vcproj - " + m_kit->path("projects/vc"))->trigger();
        QCOMPARE(panel()->projectFilePath(), QString());
        QCOMPARE(QString::fromStdString(m_window->projectManager().getProject()->getName()), QString("vcgame"));

        QFile::remove(paths[8]);
        emit menu->aboutToShow();
        QAction* gone = menuAction(menu, "&4 p8.vnp - " + m_kit->path("projects/p8") + " (missing)");
        QVERIFY(!gone->isEnabled());
        menuAction(menu, "Remove Missing Projects")->trigger();
        QVERIFY(!RecentProjects::stored().contains(paths[8]));
        QCOMPARE(RecentProjects::stored().size(), 7);

        menuAction(menu, "Clear list")->trigger();
        QCOMPARE(RecentProjects::stored(), QStringList());
        QCOMPARE(actionTexts(menu), QStringList{"Clear list"});
        QVERIFY(!menu->actions().last()->isEnabled());
    }

    // Replacing a changed project asks first, from File > Open as from the
    // recent list; an unchanged one is replaced without a question.
    void replacingAChangedProjectAsksToSave_data()
    {
        QTest::addColumn<bool>("changed");
        QTest::addColumn<int>("answer"); // UserDialogs::SaveAnswer
        QTest::addColumn<QString>("openAfter");
        QTest::addColumn<bool>("firstSaved");
        QTest::newRow("unchanged") << false << -1 << "second" << false;
        QTest::newRow("save") << true << int(UserDialogs::SaveAnswer::Save) << "second" << true;
        QTest::newRow("discard") << true << int(UserDialogs::SaveAnswer::Discard) << "second" << false;
        QTest::newRow("cancel") << true << int(UserDialogs::SaveAnswer::Cancel) << "renamed" << false;
    }

    void replacingAChangedProjectAsksToSave()
    {
        QFETCH(bool, changed);
        QFETCH(int, answer);
        QFETCH(QString, openAfter);
        QFETCH(bool, firstSaved);
        const QString first = m_kit->writeProject("projects/a/first.vnp", "first", {"./main.c"});
        const QString second = m_kit->writeProject("projects/b/second.vnp", "second", {"./main.c"});
        open(second);
        open(first);
        if (changed)
            m_window->projectManager().getProject()->setName("renamed");
        if (answer >= 0)
            m_dialogs.nextSaveAnswers << UserDialogs::SaveAnswer(answer);

        QMenu* menu = m_window->findChild<QMenu*>("menuRecent_Projects");
        menuAction(menu, "&2 second.vnp - " + m_kit->path("projects/b"))->trigger();
        QCOMPARE(m_dialogs.saveQuestions.size(), changed ? 1 : 0);
        QCOMPARE(QString::fromStdString(m_window->projectManager().getProject()->getName()), openAfter);
        QCOMPARE(m_kit->readFile(first).contains("renamed"), firstSaved);

        // File > Open asks the same way.
        m_window->projectManager().getProject()->setName("changed again");
        open(first);
        QCOMPARE(m_dialogs.saveQuestions.size(), changed ? 2 : 1);
        QCOMPARE(m_dialogs.saveQuestions.last(),
                 QString("The project \"changed again\" has changes that are not saved. Save them first?"));
    }

    void helpOpensThePageOrSaysItIsMissing()
    {
        action(m_window.get(), "actionVarnel_Help")->trigger();
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(m_dialogs.messages[0].text, "Could not find file://" + m_kit->root() + "/docs/index.html.");
        QVERIFY(m_starter.urls.isEmpty());

        m_kit->writeFile("docs/index.html", "<html></html>");
        action(m_window.get(), "actionVarnel_Help")->trigger();
        QCOMPARE(m_starter.urls, QList<QUrl>{QUrl::fromLocalFile(m_kit->path("docs/index.html"))});
        m_starter.succeed = false;
        action(m_window.get(), "actionVarnel_Help")->trigger();
        QCOMPARE(m_dialogs.messages.last().text, QString("Unknown error opening documentation."));

        action(m_window.get(), "actionAbout_Varnel")->trigger();
        QVERIFY(m_dialogs.messages.last().text.contains(">VarBuild " + QLatin1String(Brask::VarBuildVersion) + "<"));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
