// The window as a user drives it: texts typed but not yet "finished", where
// the file dialogs start and what names they give, opening files of imported
// projects, the criteria list after Delete, the constant dialog's Enter, the
// project tree after adds, removes, new and failed projects, and View profile
// without a viewer.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/criteria/ConstantDialog.h"
#include "app/criteria/FeatureDialog.h"
#include "app/output/OutputPanel.h"
#include "app/panels/ProfilesPanel.h"
#include "app/panels/ProjectPanel.h"
#include "app/dialogs/QtUserDialogs.h"
#include "core/ProjectManager.h"
#include "core/profiles/Criteria.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <algorithm>

namespace {

QAction* action(QWidget* window, const char* name)
{
    auto* found = window->findChild<QAction*>(name);
    if (!found)
        qFatal("no action %s", name);
    return found;
}

QAction* menuAction(const QMenu* menu, const QString& text)
{
    for (QAction* a : menu->actions())
        if (a->text() == text)
            return a;
    qFatal("no menu entry %s", qPrintable(text));
}

QTreeWidgetItem* findItem(QTreeWidget* tree, const QString& text)
{
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

const char* const VcprojWithSources = "<?xml version=\"1.0\"?>\n"
                                      "<VisualStudioProject Version=\"8.00\" Name=\"vcgame\">\n<Files>\n"
                                      "<File RelativePath=\"..\\src\\main.c\"></File>\n"
                                      "</Files>\n</VisualStudioProject>\n";

} // namespace

class UsageTest : public WindowTestBase {
    Q_OBJECT
private:
    QTreeWidget* tree() { return m_window->findChild<QTreeWidget*>("projectTree"); }
    ProjectPanel* panel() { return m_window->projectPanel(); }
    Brask::Project* project() { return m_window->projectManager().getProject(); }
    QString pane() { return m_window->findChild<QTextEdit*>("outputBox")->toPlainText(); }
    template <typename T>
    T* widget(const char* name)
    {
        auto* found = m_window->findChild<T*>(name);
        if (!found)
            qFatal("no widget %s", name);
        return found;
    }
    QString openProject(const QStringList& files = {"./main.c"})
    {
        const QString path = m_kit->writeProject("projects/demo/demo.vnp", "demo", files);
        m_dialogs.nextFileNames << path;
        action(m_window.get(), "actionOpen")->trigger();
        return path;
    }
    void importProject()
    {
        m_kit->writeFile("projects/vc/game.vcproj", VcprojWithSources);
        m_dialogs.nextFileNames << m_kit->path("projects/vc/game.vcproj");
        action(m_window.get(), "actionImport_vcproj")->trigger();
    }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        openWindow();
    }

    void cleanup() { endTest(); }

    // Typing into a field and saving, quitting or building without leaving
    // the field stores what the field shows.
    void unfinishedTextsAreSaved_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("how");
        const struct {
            const char* field;
            const char* property;
        } fields[] = {{"lineLinker", "extraLinker"}, {"lineGcc", "extraCmd"}, {"lineAddInclude", "additionalIncludeDirectories"}};
        for (const auto& row : fields)
            for (const char* how : {"save", "quit", "shortcut"})
                QTest::addRow("%s by %s", row.field, how) << row.field << row.property << how;
    }

    void unfinishedTextsAreSaved()
    {
        QFETCH(QString, field);
        QFETCH(QString, property);
        QFETCH(QString, how);
        const QString path = openProject();
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto* edit = widget<QLineEdit>(field.toLatin1());
        edit->setFocus();
        QTest::keyClicks(edit, "-Lnew");
        QSignalSpy quitting(m_window.get(), &Buildtool::quitting);
        if (how == "save")
            action(m_window.get(), "actionSave")->trigger();
        else if (how == "quit")
            action(m_window.get(), "actionQuit")->trigger();
        else
            QTest::keySequence(m_window.get(), QKeySequence("Ctrl+Shift+S"));
        QCOMPARE(QString::fromStdString(project()->peekProperty(property.toStdString())), QString("-Lnew"));
        const QByteArray saved = m_kit->readFile(path);
        QVERIFY2(saved.contains("-Lnew"), saved.constData());
        QCOMPARE(quitting.count(), how == "quit" ? 1 : 0);
    }

    // Closing down with the cursor still in a settings field (quitting from
    // the keyboard does that): the window goes without running the field's
    // handler on what it has already freed, and shows and writes nothing.
    void destroyedWithTheFocusInAField_data()
    {
        QTest::addColumn<QString>("field");
        for (const char* field : {"lineOutputPath", "lineAddInclude", "lineAddLib", "lineLibs", "lineGcc",
                                  "lineResourcer", "lineLinker", "lineScreenWidth", "lineScreenHeight"})
            QTest::newRow(field) << field;
    }

    void destroyedWithTheFocusInAField()
    {
        QFETCH(QString, field);
        const QString path = openProject();
        // A library project, so the output path takes the focus too.
        widget<QRadioButton>("libRadio")->click();
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        auto* edit = widget<QLineEdit>(field.toLatin1());
        edit->setFocus();
        QTRY_VERIFY(edit->hasFocus());
        // Unfinished, and in a screen field a size its check would refuse.
        QTest::keyClicks(edit, "9999");
        const QByteArray before = m_kit->readFile(path);
        m_window.reset();
        QVERIFY(m_dialogs.messages.isEmpty());
        QCOMPARE(m_kit->readFile(path), before);
    }

    void untouchedFieldsAddNothingToTheFile()
    {
        // The disabled output path of an application project is not written
        // as an empty property.
        const QString path = openProject();
        QVERIFY(!m_kit->readFile(path).contains("outputPath"));
        action(m_window.get(), "actionSave")->trigger();
        const QByteArray saved = m_kit->readFile(path);
        QVERIFY2(!saved.contains("outputPath"), saved.constData());
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void itemDialogsStartInTheItemDirectory()
    {
        openProject({"src/"});
        QDir().mkpath(m_kit->path("projects/demo/src"));
        // Somewhere else entirely, as after browsing in another dialog.
        QDir::setCurrent(m_kit->path("bin"));
        findItem(tree(), "src")->setSelected(true);
        m_dialogs.nextFileNames << "main.c";
        menuAction(panel()->menuForSelection(), "Add new item...")->trigger();
        QCOMPARE(m_dialogs.askedDirectories.last(), m_kit->path("projects/demo"));
        QVERIFY2(QFile::exists(m_kit->path("projects/demo/main.c")), "typed name created in the item directory");
        QVERIFY(!QFile::exists(m_kit->path("bin/main.c")));

        m_kit->writeFile("projects/demo/src/util.c", "\n");
        findItem(tree(), "src")->setSelected(true);
        m_dialogs.nextFileNames << m_kit->path("projects/demo/src/util.c");
        menuAction(panel()->menuForSelection(), "Add existing item...")->trigger();
        findItem(tree(), "src")->setSelected(true);
        m_dialogs.nextFileNames << QString();
        menuAction(panel()->menuForSelection(), "Add existing item...")->trigger();
        QCOMPARE(m_dialogs.askedDirectories.last(), m_kit->path("projects/demo/src"));

        // The file dialog shows the filter as designed and lists the sources.
        const QString designed = m_dialogs.askedFilters.last();
        QCOMPARE(designed, QString("Varnel files (*.c;*.cpp;*.h;*.lst);;All Files (*)"));
        QFileDialog dialog;
        dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters(QtUserDialogs::dialogFilters(designed).split(";;"));
        auto* types = dialog.findChild<QComboBox*>("fileTypeCombo");
        QVERIFY(types);
        QCOMPARE(types->itemText(0), designed.section(";;", 0, 0));
        QCOMPARE(types->itemText(1), designed.section(";;", 1, 1));
        QCOMPARE(dialog.findChild<QFileSystemModel*>()->nameFilters(), (QStringList{"*.c", "*.cpp", "*.h", "*.lst"}));
    }

    void importedProjectKeepsItsItemsBesideIt()
    {
        openProject(); // another project's directory first
        importProject();
        QVERIFY(project());
        tree()->topLevelItem(0)->setSelected(true);
        m_dialogs.nextFileNames << "extra.c";
        menuAction(panel()->menuForSelection(), "Add new item...")->trigger();
        QCOMPARE(m_dialogs.askedDirectories.last(), m_kit->path("projects/vc"));
        QVERIFY(QFile::exists(m_kit->path("projects/vc/extra.c")));

        // The first save of the imported project starts there too.
        const QString saved = m_kit->path("projects/vc/game");
        m_dialogs.nextFileNames << saved;
        action(m_window.get(), "actionSave")->trigger();
        QCOMPARE(m_dialogs.askedDirectories.last(), m_kit->path("projects/vc"));
        QVERIFY(QFile::exists(saved + ".vnp"));
        QCOMPARE(panel()->projectFilePath(), saved + ".vnp");
    }

    void projectNamesGetTheirExtension_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("bare name") << "big" << "big.vnp";
        QTest::newRow("with extension") << "big.vnp" << "big.vnp";
        QTest::newRow("other extension kept") << "big.xml" << "big.xml";
    }

    void projectNamesGetTheirExtension()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QDir().mkpath(m_kit->path("projects/n"));
        m_dialogs.nextFileNames << m_kit->path("projects/n/" + typed);
        action(m_window.get(), "actionNew_Project")->trigger();
        QCOMPARE(QDir(m_kit->path("projects/n")).entryList(QDir::Files), QStringList{written});
        QCOMPARE(panel()->projectFilePath(), m_kit->path("projects/n/" + written));
        QCOMPARE(QString::fromStdString(project()->getName()), QString("big"));
    }

    void openingAFileOfAnImportedProjectUsesSlashes()
    {
        importProject();
        QVERIFY(project());
        QTreeWidgetItem* item = findItem(tree(), "main.c");
        QVERIFY(item);
        item->setSelected(true);
        menuAction(panel()->fileMenu(), "Open")->trigger();
        QCOMPARE(m_starter.started.size(), 1);
        const QString started = m_starter.started.first();
        QVERIFY2(!started.contains('\\'), qPrintable(started));
        QVERIFY2(started.endsWith(m_kit->path("projects/vc/../src/main.c")), qPrintable(started));
    }

    void deleteLeavesNothingSelected()
    {
        openProject();
        for (const char* feature : {"Camera", "Sound", "Video"})
            project()->addCriterion(std::make_unique<Brask::Has>(feature));
        m_window->criteriaChanged();
        m_window->show();
        auto* list = widget<QListWidget>("criteriaList");
        auto* remove = widget<QPushButton>("deleteCriterionButton");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
        QCOMPARE(list->selectedItems().size(), 1);
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(list->count(), 2);
        QVERIFY(list->selectedItems().isEmpty());
        // A second click has nothing to delete.
        QTest::mouseClick(remove, Qt::LeftButton);
        QCOMPARE(list->count(), 2);
        QCOMPARE(project()->getCriteria().size(), size_t(2));
    }

    void enterOnANonNumberKeepsTheConstantDialogOpen()
    {
        ConstantDialog dialog(m_window->projectManager().getProfileDatabase(), m_dialogs);
        dialog.show();
        auto* edit = dialog.findChild<QLineEdit*>("valueEdit");
        edit->setFocus();
        edit->clear();
        QTest::keyClicks(edit, "abc");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(m_dialogs.titles(), QStringList{"VarBuild"});
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.result() != QDialog::Accepted);
        // A number typed after the box is taken with Enter.
        edit->clear();
        QTest::keyClicks(edit, "42");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.value(), 42);
        QCOMPARE(m_dialogs.messages.size(), 1);
    }

    // What the list shows as chosen is what Ok takes.
    void theHighlightedRowIsTheChosenOne()
    {
        const Brask::ProfileDatabase& database = m_window->projectManager().getProfileDatabase();
        FeatureDialog features(database);
        features.show();
        auto* featureList = features.findChild<QListWidget*>("featureList");
        // What the view does when it gets the focus: the first row current.
        auto focusFirstRow = [](QListWidget* list) {
            list->selectionModel()->setCurrentIndex(list->model()->index(0, 0), QItemSelectionModel::NoUpdate);
        };
        focusFirstRow(featureList);
        QVERIFY(featureList->currentItem());
        QCOMPARE(featureList->currentItem()->isSelected(), true);
        QCOMPARE(features.currentRow(), featureList->currentRow());

        ConstantDialog constants(database, m_dialogs);
        constants.show();
        auto* constantList = constants.findChild<QListWidget*>("constantList");
        focusFirstRow(constantList);
        QVERIFY(constantList->currentItem());
        QVERIFY(constantList->currentItem()->isSelected());
        QCOMPARE(constants.currentRow(), constantList->currentRow());
    }

    void headerAndSettingsFollowTheProject()
    {
        openProject();
        widget<QLineEdit>("lineGcc")->setText("-Oold");
        project()->setProperty("extraCmd", "-Oold");
        QDir().mkpath(m_kit->path("projects/fresh"));
        m_dialogs.nextFileNames << m_kit->path("projects/fresh/fresh.vnp");
        action(m_window.get(), "actionNew_Project")->trigger();
        QCOMPARE(tree()->headerItem()->text(0), QString("fresh"));

        openProject();
        widget<QCheckBox>("checkWall")->setChecked(true);
        m_kit->writeFile("projects/broken.vnp", "no project");
        m_dialogs.nextFileNames << m_kit->path("projects/broken.vnp");
        action(m_window.get(), "actionOpen")->trigger();
        QVERIFY(!project());
        QVERIFY2(tree()->headerItem()->text(0) != "demo", "the header still names the lost project");
        for (const char* name : {"lineGcc", "lineLinker", "lineScreenWidth", "lineScreenHeight"})
            QVERIFY2(widget<QLineEdit>(name)->text().isEmpty(), name);
        QVERIFY(!widget<QCheckBox>("checkWall")->isChecked());
    }

    void addAndRemoveKeepFoldersOpen()
    {
        openProject({"./main.c", "src/", "./src/a.c", "./src/b.c", "lib/", "./lib/c.c"});
        findItem(tree(), "src")->setExpanded(true);
        QVERIFY(!findItem(tree(), "lib")->isExpanded());
        findItem(tree(), "b.c")->setSelected(true);
        menuAction(panel()->menuForSelection(), "Remove")->trigger();
        QVERIFY(findItem(tree(), "src")->isExpanded());
        QVERIFY(!findItem(tree(), "lib")->isExpanded());

        // The folder that receives a new item opens to show it.
        findItem(tree(), "lib")->setSelected(true);
        m_dialogs.nextFileNames << m_kit->path("projects/demo/d.c");
        menuAction(panel()->menuForSelection(), "Add new item...")->trigger();
        QVERIFY(findItem(tree(), "src")->isExpanded());
        QVERIFY(findItem(tree(), "lib")->isExpanded());
    }

    void filesWithoutIconLineUpWithTheOthers()
    {
        openProject({"./main.c", "./readme.txt"});
        m_window->show();
        const QRect withIcon = tree()->visualItemRect(findItem(tree(), "main.c"));
        QTreeWidgetItem* plain = findItem(tree(), "readme.txt");
        // The text starts where its siblings' texts start: an empty icon
        // keeps the place of one.
        const QIcon icon = plain->icon(0);
        QVERIFY(!icon.isNull());
        const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QCOMPARE(qAlpha(image.pixel(x, y)), 0);
        QCOMPARE(tree()->visualItemRect(plain).left(), withIcon.left());
    }

    void rightClickOnEmptySpaceShowsNoMenu()
    {
        openProject({"./main.c"});
        m_window->show();
        findItem(tree(), "main.c")->setSelected(true);
        const QPoint empty(10, tree()->viewport()->height() - 5);
        QVERIFY(!tree()->itemAt(empty));
        panel()->projectMenuRequested(empty);
        QVERIFY(!panel()->fileMenu()->isVisible());
        const QPoint onItem = tree()->visualItemRect(findItem(tree(), "main.c")).center();
        panel()->projectMenuRequested(onItem);
        QVERIFY(panel()->fileMenu()->isVisible());
        panel()->fileMenu()->hide();
    }

    // The orange bar stays; its menus look and behave like the desktop's.
    void menusKeepTheirOwnLook()
    {
        m_window->show();
        auto* bar = widget<QWidget>("menuBar");
        QVERIFY(bar->styleSheet().contains("background: #ff7f00;"));
        QVERIFY(bar->styleSheet().contains("color: black; "));
        auto* file = widget<QMenu>("menuFile");
        const QPalette palette = file->palette();
        QVERIFY(palette.color(QPalette::Disabled, QPalette::Text) != palette.color(QPalette::Active, QPalette::Text));

        // The entry under the mouse is drawn unlike the others, and a greyed
        // entry (Save Project... without a project) unlike an enabled one.
        QAction* save = action(m_window.get(), "actionSave");
        QVERIFY(!save->isEnabled());
        file->popup(QPoint(0, 0));
        QTest::qWait(20);
        file->setActiveAction(action(m_window.get(), "actionNew_Project"));
        const QImage image = file->grab().toImage();
        if (qEnvironmentVariableIsSet("VARBUILD_GRAB_DIR"))
            image.save(qEnvironmentVariable("VARBUILD_GRAB_DIR") + "/file-menu.png");
        auto row = [&](QAction* entry) {
            const QRect rect = file->actionGeometry(entry);
            return image.copy(rect.adjusted(rect.width() / 2, 0, 0, 0)); // the right half: no icon, no text
        };
        auto text = [&](QAction* entry) {
            const QRect rect = file->actionGeometry(entry);
            return image.copy(QRect(rect.left(), rect.top(), rect.width() / 2, rect.height()));
        };
        QVERIFY(row(action(m_window.get(), "actionNew_Project")) != row(action(m_window.get(), "actionOpen")));
        // Same text colour for two enabled entries would only show that the
        // texts differ; compare the darkest pixel of each entry instead.
        auto darkest = [](const QImage& part) {
            int low = 255 * 3;
            for (int y = 0; y < part.height(); ++y)
                for (int x = 0; x < part.width(); ++x) {
                    const QRgb pixel = part.pixel(x, y);
                    low = std::min(low, qRed(pixel) + qGreen(pixel) + qBlue(pixel));
                }
            return low;
        };
        QVERIFY2(darkest(text(save)) > darkest(text(action(m_window.get(), "actionImport_vcproj"))) + 60,
                 "a disabled entry is drawn as dark as an enabled one");
        file->hide();
    }

    // The window fits a 1366 x 768 screen, its pane shows a useful number
    // of lines at the default size, and the user can give the pane most of
    // the height.
    void sizesLeaveRoomForTheOutput()
    {
        openProject();
        m_window->show();
        QCoreApplication::processEvents();
        const QSize minimum = m_window->minimumSizeHint().expandedTo(m_window->minimumSize());
        QVERIFY2(minimum.height() <= 700 && minimum.width() <= 1366,
                 qPrintable(QString("%1 x %2").arg(minimum.width()).arg(minimum.height())));

        auto* box = widget<QTextEdit>("outputBox");
        const int lineHeight = box->fontMetrics().lineSpacing();
        QVERIFY2(box->viewport()->height() / lineHeight >= 8,
                 qPrintable(QString::number(box->viewport()->height() / lineHeight)));

        m_window->resize(1366, 700);
        QCoreApplication::processEvents();
        auto* splitter = widget<QSplitter>("splitter_2");
        const int total = splitter->sizes().value(0) + splitter->sizes().value(1);
        // At the start the pane has half the height, and the Settings page
        // fits in the other half without scrolling.
        QVERIFY2(std::abs(splitter->sizes().value(1) - total / 2) <= total / 20,
                 qPrintable(QString("%1 of %2").arg(splitter->sizes().value(1)).arg(total)));
        widget<QTabWidget>("tabPane")->setCurrentIndex(1);
        QCoreApplication::processEvents();
        QCOMPARE(widget<QScrollArea>("tab_2Scroller")->verticalScrollBar()->maximum(), 0);
        splitter->setSizes({1, total - 1});
        QCoreApplication::processEvents();
        QVERIFY2(splitter->sizes().value(1) >= total * 6 / 10,
                 qPrintable(QString("%1 of %2").arg(splitter->sizes().value(1)).arg(total)));
    }

    void viewProfileWithoutViewerSaysSoInThePane_data()
    {
        QTest::addColumn<bool>("configured");
        QTest::addColumn<bool>("starts");
        QTest::newRow("no viewer configured") << false << false;
        QTest::newRow("viewer does not start") << true << false;
        QTest::newRow("viewer starts") << true << true;
    }

    void viewProfileWithoutViewerSaysSoInThePane()
    {
        QFETCH(bool, configured);
        QFETCH(bool, starts);
        openProject();
        auto& types = m_window->projectManager().getConfig().fileTypes;
        types.erase(std::remove_if(types.begin(), types.end(),
                                   [](const auto& type) { return type.extension == "*profile"; }),
                    types.end());
        if (configured)
            types.push_back({"*profile", "missing-viewer %file"});
        m_starter.succeed = starts;
        // The user has scrolled back in a long pane: the message is brought into view.
        m_window->show();
        for (int i = 0; i < 200; ++i)
            m_window->outputPanel()->appendParagraph("earlier line " + QString::number(i));
        QScrollBar* bar = widget<QTextEdit>("outputBox")->verticalScrollBar();
        bar->setValue(0);
        auto* profiles = widget<QTreeWidget>("profileTree");
        QTreeWidgetItem* device = findItem(profiles, "Rocket");
        QVERIFY(device);
        device->setSelected(true);
        m_window->profilesPanel()->viewProfile();
        QVERIFY(m_dialogs.messages.isEmpty());
        if (starts) {
            QVERIFY2(!pane().contains("profile"), qPrintable(pane()));
        } else if (configured) {
            QVERIFY2(pane().contains("missing-viewer " + m_kit->root() + "/profiles/vendors/Acme/Rocket/profile.h"),
                     qPrintable(pane()));
        } else {
            QVERIFY2(pane().contains("*profile"), qPrintable(pane()));
        }
        QCOMPARE(bar->value() == bar->maximum(), !starts);
    }
};

QTEST_MAIN(UsageTest)
#include "usage_test.moc"
