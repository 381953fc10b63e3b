// What the window tells about packages and excluded devices: the Packages
// dialog, the device and criterion tooltips, and "Show excluded devices".

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/dialogs/PackagesDialog.h"
#include "app/panels/ProfileTreeDetails.h"
#include "app/panels/ProfilesPanel.h"
#include "core/ProjectManager.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

namespace {

// Every item as indent + text; "~" marks an excluded (greyed) item.
QStringList treeTexts(QTreeWidget* tree)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* vendor = tree->topLevelItem(i);
        const auto mark = [](QTreeWidgetItem* item) {
            return item->data(0, ProfileTreeDetails::ExcludedRole).toBool() ? QStringLiteral("~") : QString();
        };
        out << vendor->text(0) + mark(vendor);
        for (int j = 0; j < vendor->childCount(); ++j)
            out << "  " + vendor->child(j)->text(0) + mark(vendor->child(j));
    }
    return out;
}

// Every item of the packages dialog's tree: indent + column texts.
QStringList dialogTexts(QTreeWidget* tree)
{
    QStringList out;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        QString line = QString(depth * 2, ' ') + item->text(0);
        if (!item->text(1).isEmpty())
            line += " | " + item->text(1);
        out << line;
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), depth + 1);
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), 0);
    return out;
}

} // namespace

class PackagesTest : public WindowTestBase {
    Q_OBJECT
private:
    QTreeWidget* tree() { return m_window->findChild<QTreeWidget*>("profileTree"); }
    QListWidget* criteriaList() { return m_window->findChild<QListWidget*>("criteriaList"); }
    QCheckBox* showExcluded() { return m_window->findChild<QCheckBox*>("checkShowExcluded"); }
    Brask::Project* project() { return m_window->projectManager().getProject(); }
    QTreeWidgetItem* item(const QString& text)
    {
        const auto found = tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        if (found.isEmpty())
            qFatal("no tree item %s", qPrintable(text));
        return found.first();
    }
    QString output() const { return m_kit->path("projects/p/Output"); }

    void openProject(const QByteArray& properties, const QByteArray& criteria)
    {
        m_kit->writeFile("projects/p/p.vnp", "<Project name=\"p\">\n\t<Configuration>\n" + properties
                                                  + "\t</Configuration>\n\t<Criteria>\n" + criteria
                                                  + "\t</Criteria>\n</Project>");
        m_dialogs.nextFileNames << m_kit->path("projects/p/p.vnp");
        m_window->findChild<QAction*>("actionOpen")->trigger();
        QVERIFY(project());
    }

    // Runs Build > Packages... and gives its tree and summary.
    QStringList packagesDialog(QString* summary = nullptr)
    {
        QStringList texts;
        m_runner.scripts << [&](QDialog& dialog) {
            auto* tree = dialog.findChild<QTreeWidget*>("packagesTree");
            QVERIFY(tree);
            texts = dialogTexts(tree);
            if (summary)
                *summary = dialog.findChild<QLabel*>("packagesSummary")->text();
            if (!qEnvironmentVariableIsEmpty("VARBUILD_GRAB_DIR"))
                dialog.grab().save(qEnvironmentVariable("VARBUILD_GRAB_DIR") + "/packages.png");
            dialog.reject();
        };
        m_window->findChild<QAction*>("actionPackages")->trigger();
        return texts;
    }

private slots:
    // startSuite() keeps the user's settings out of the tests.
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        QSettings(QStringLiteral("Varnel"), QStringLiteral("VarBuild")).remove(ProfileTreeDetails::SettingsKey);
        m_kit->writeFile("profiles/vendors/definitions.txt",
                         "KV_PROF_SUPPORT_CAMERA,Camera\nKV_PROF_SUPPORT_BT,Bluetooth\n"
                         "KV_PROF_CONST_SCREENSIZE_X,ScreenSize/X,pixels\n"
                         "KV_PROF_CONST_SCREENSIZE_Y,ScreenSize/Y,pixels\n");
        // Acme/Rocket (Camera, 176 x 208, runtime 1) comes with the installation.
        m_kit->writeDevice("Brisk", "Zed",
                           "#define KV_PROF_SUPPORT_CAMERA\n#define KV_PROF_SUPPORT_BT\n"
                           "#define KV_PROF_CONST_SCREENSIZE_X 320\n#define KV_PROF_CONST_SCREENSIZE_Y 240\n");
        m_kit->writeFile("profiles/vendors/Brisk/Zed/runtime.txt", "profiles\\runtimes\\2\n");
        m_kit->writeDevice("Zeta", "Alpha", "#define KV_PROF_SUPPORT_BT\n#define KV_PROF_CONST_SCREENSIZE_X 240\n");
        m_kit->writeFile("profiles/vendors/Zeta/Alpha/runtime.txt", "profiles\\runtimes\\2\n");
        m_kit->writeDevice("Zeta", "Beta", "");
        m_kit->writeDevice("Zeta", "Gamma", "#define KV_PROF_SUPPORT_CAMERA\n");
        openWindow();
    }

    void cleanup() { endTest(); }

    void excludedDevicesAreGreyedExplainedAndNeverTargets()
    {
        openProject("", "<Has feature=\"Bluetooth\"/>\n");
        QVERIFY(showExcluded());
        QVERIFY(!showExcluded()->isChecked());
        QCOMPARE(treeTexts(tree()), (QStringList{"Brisk", "  Zed", "Zeta", "  Alpha"}));

        showExcluded()->setChecked(true);
        QCOMPARE(treeTexts(tree()),
                 (QStringList{"Acme~", "  Rocket~", "Brisk", "  Zed", "Zeta", "  Alpha", "  Beta~", "  Gamma~"}));
        QCOMPARE(item("Beta")->toolTip(0),
                 QString("Not a target: \"Required feature: Bluetooth\" (criterion 1 of 1) rejects it: its feature "
                         "list does not hold \"Bluetooth\""));
        QVERIFY(item("Beta")->foreground(0).color() != item("Alpha")->foreground(0).color());
        if (!qEnvironmentVariableIsEmpty("VARBUILD_GRAB_DIR")) {
            tree()->expandAll();
            m_window->grab().save(qEnvironmentVariable("VARBUILD_GRAB_DIR") + "/excluded.png");
        }
        QCOMPARE(QSettings(QStringLiteral("Varnel"), QStringLiteral("VarBuild"))
                     .value(ProfileTreeDetails::SettingsKey)
                     .toBool(),
                 true);

        // A click does not select it; no menu, so no "Use as target"; called
        // anyway it changes nothing.
        m_window->show();
        tree()->clearSelection();
        QTest::mouseClick(tree()->viewport(), Qt::LeftButton, {}, tree()->visualItemRect(item("Beta")).center());
        QVERIFY(tree()->selectedItems().isEmpty());
        item("Beta")->setSelected(true);
        QVERIFY(m_window->profilesPanel()->menuForSelection() == nullptr);
        m_window->profilesPanel()->useAsTarget();
        QVERIFY(m_window->profilesPanel()->currentTarget() == nullptr);
        QCOMPARE(QString::fromStdString(project()->peekProperty("targetDevice")), QString());

        // The build asks the core: still the two targets, and the package map
        // lists only them.
        QCOMPARE(m_window->projectManager().getTargetDevices().size(), size_t(2));
        QCOMPARE(packagesDialog(), (QStringList{output() + "/2/p.jar | not built yet", "  Brisk", "    Zed", "  Zeta",
                                                "    Alpha"}));

        showExcluded()->setChecked(false);
        QCOMPARE(treeTexts(tree()), (QStringList{"Brisk", "  Zed", "Zeta", "  Alpha"}));
    }

    void theBoxIsRememberedForTheUser()
    {
        showExcluded()->setChecked(true);
        m_window.reset();
        openWindow();
        QVERIFY(showExcluded()->isChecked());
        openProject("", "<Device is=\"Zed\"/>\n");
        QCOMPARE(treeTexts(tree()),
                 (QStringList{"Acme~", "  Rocket~", "Brisk", "  Zed", "Zeta~", "  Alpha~", "  Beta~", "  Gamma~"}));
        QCOMPARE(item("Rocket")->toolTip(0),
                 QString("Not a target: \"Device is Zed\" (criterion 1 of 1) rejects it: its name is \"Rocket\""));
    }

    void tooltipsOfDevicesAndCriteria()
    {
        openProject("", "<Has feature=\"Camera\"/>\n"
                        "<Constant op=\"GT\" name=\"ScreenSize/X,pixels\" value=\"200\" allowUndefined=\"false\"/>\n");
        QCOMPARE(item("Zed")->toolTip(0),
                 QString("Runtime: 2\nPackage: " + output() + "/2/p.jar\nScreen size: 320 x 240 pixels"));
        QCOMPARE(criteriaList()->item(0)->toolTip(), QString("keeps 3 of 5 devices; 3 remain after this criterion"));
        QCOMPARE(criteriaList()->item(1)->toolTip(), QString("keeps 2 of 5 devices; 1 remain after this criterion"));

        // Deleting the first criterion recounts the one left.
        criteriaList()->item(0)->setSelected(true);
        m_window->profilesPanel()->deleteCriterionClicked(false);
        QCOMPARE(criteriaList()->count(), 1);
        QCOMPARE(criteriaList()->item(0)->toolTip(), QString("keeps 2 of 5 devices; 2 remain after this criterion"));
        QCOMPARE(item("Alpha")->toolTip(0),
                 QString("Runtime: 2\nPackage: " + output() + "/2/p.jar\nScreen size: 240 x unknown pixels"));
    }

    void packagesDialogShowsBuiltJars()
    {
        openProject("", "");
        QString summary;
        QCOMPARE(packagesDialog(&summary),
                 (QStringList{output() + "/1/p.jar | not built yet", "  Acme", "    Rocket", "  Zeta", "    Beta",
                              "    Gamma", output() + "/2/p.jar | not built yet", "  Brisk", "    Zed", "  Zeta",
                              "    Alpha"}));
        QCOMPARE(summary, QString("Total: 5 devices, 2 JARs"));
        QCOMPARE(m_runner.ran.last(), QString("packagesDialog"));

        m_kit->writeFile("projects/p/Output/2/p.jar", QByteArray(1234, 'j'));
        const QStringList built = packagesDialog();
        QCOMPARE(built.value(6), output() + "/2/p.jar | 1234 bytes");
        QCOMPARE(built.value(0), output() + "/1/p.jar | not built yet");
    }

    void packagesDialogForSymbianAndForNoTargets()
    {
        openProject("\t\t<Property name=\"S60v3UID\" value=\"0xE0001234\"/>\n", "");
        QString summary;
        QCOMPARE(packagesDialog(&summary), QStringList{m_kit->path("projects/p/so/p.sis") + " | not built yet"});
        QCOMPARE(summary, QString("No JAR is made: the project has a Symbian UID. 5 devices meet the criteria."));

        openProject("", "<Device is=\"Nothing\"/>\n");
        QCOMPARE(packagesDialog(&summary), QStringList{});
        QCOMPARE(summary, QString("No JAR is made: no device meets the criteria."));
    }
};

QTEST_MAIN(PackagesTest)
#include "packages_test.moc"
