// The Profiles tab: the device tree under the project's criteria, the target
// device and its screen size, the context menu, viewing a profile and
// deleting criteria.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/panels/ProfilesPanel.h"
#include "core/ProjectManager.h"
#include "core/profiles/Criteria.h"
#include "util/Diagnostics.h"

#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

namespace {

QImage iconImage(const QIcon& icon)
{
    return icon.isNull() ? QImage() : icon.pixmap(32, 32).toImage();
}

// Every item as "indent + text", with "*" after an expanded vendor and "@"
// after the device that shows the target icon.
QStringList treeTexts(QTreeWidget* tree, const QIcon& targetIcon)
{
    QStringList out;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* vendor = tree->topLevelItem(i);
        out << vendor->text(0) + (vendor->isExpanded() ? "*" : "");
        for (int j = 0; j < vendor->childCount(); ++j) {
            QTreeWidgetItem* device = vendor->child(j);
            const bool target = iconImage(device->icon(0)) == iconImage(targetIcon);
            out << "  " + device->text(0) + (target ? "@" : "");
        }
    }
    return out;
}

} // namespace

class ProfilesTest : public WindowTestBase {
    Q_OBJECT
private:
    QIcon m_phone, m_target;

    QTreeWidget* tree() { return m_window->findChild<QTreeWidget*>("profileTree"); }
    QListWidget* criteriaList() { return m_window->findChild<QListWidget*>("criteriaList"); }
    ProfilesPanel* panel() { return m_window->profilesPanel(); }
    Brask::Project* project() { return m_window->projectManager().getProject(); }
    QStringList texts() { return treeTexts(tree(), m_target); }
    QTreeWidgetItem* item(const QString& text)
    {
        const auto found = tree()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        if (found.isEmpty())
            qFatal("no tree item %s", qPrintable(text));
        return found.first();
    }
    void select(const QString& text)
    {
        tree()->clearSelection();
        item(text)->setSelected(true);
    }
    QString writeProject(const QByteArray& properties, const QByteArray& criteria)
    {
        m_kit->writeFile("projects/p/p.vnp", "<Project name=\"p\">\n\t<Configuration>\n" + properties
                                                  + "\t</Configuration>\n\t<Criteria>\n" + criteria
                                                  + "\t</Criteria>\n</Project>");
        return m_kit->path("projects/p/p.vnp");
    }
    void openProject(const QString& path)
    {
        m_dialogs.nextFileNames << path;
        m_window->findChild<QAction*>("actionOpen")->trigger();
        QVERIFY(project());
    }
    void addCriterion(Brask::Criterion* criterion)
    {
        project()->addCriterion(std::unique_ptr<Brask::Criterion>(criterion));
        m_window->criteriaChanged();
    }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        m_kit->writeFile("profiles/vendors/definitions.txt",
                         "KV_PROF_SUPPORT_CAMERA,Camera\nKV_PROF_SUPPORT_BT,Bluetooth\n"
                         "KV_PROF_BUG_NO_ALPHA,Bug/No alpha\nKV_PROF_CONST_SCREENSIZE_X,ScreenSize/X,pixels\n"
                         "KV_PROF_CONST_SCREENSIZE_Y,ScreenSize/Y,pixels\n");
        m_kit->writeDevice("Brisk", "Zed",
                           "#define KV_PROF_SUPPORT_CAMERA\n#define KV_PROF_SUPPORT_BT\n"
                           "#define KV_PROF_CONST_SCREENSIZE_X 320\n#define KV_PROF_CONST_SCREENSIZE_Y 240\n");
        m_kit->writeDevice("Zeta", "Alpha",
                           "#define KV_PROF_SUPPORT_BT\n#define KV_PROF_CONST_SCREENSIZE_X 240\n"
                           "#define KV_PROF_CONST_SCREENSIZE_Y 320\n");
        m_kit->writeDevice("Zeta", "Beta", "#define KV_PROF_BUG_NO_ALPHA\n");
        m_kit->writeDevice("Zeta", "Gamma", "#define KV_PROF_CONST_SCREENSIZE_X 100\n");
        QFile::copy(QStringLiteral(VARBUILD_SOURCE_DIR "/kit/data/bin/gfx/help0.png"),
                    m_kit->path("profiles/vendors/Acme/icon.png"));
        openWindow();
        m_phone = QIcon(m_kit->path("bin/gfx/phone.png"));
        m_target = QIcon(m_kit->path("bin/gfx/phoneTarget.png"));
    }

    void cleanup() { endTest(); }

    void emptyWithoutProject()
    {
        QCOMPARE(tree()->topLevelItemCount(), 0);
        QCOMPARE(tree()->headerItem()->text(0), QString("Devices"));
        QCOMPARE(criteriaList()->count(), 0);
        QVERIFY(panel()->menuForSelection() == nullptr);
    }

    void treeFollowsCriteria_data()
    {
        QTest::addColumn<QByteArray>("criteria");
        QTest::addColumn<QStringList>("descriptions");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"Acme", "  Rocket", "Brisk", "  Zed", "Zeta", "  Alpha", "  Beta", "  Gamma"};
        QTest::newRow("no criteria: every device") << QByteArray() << QStringList{} << all;
        QTest::newRow("feature") << QByteArray("<Has feature=\"Camera\"/>") << QStringList{"Required feature: Camera"}
                                 << QStringList{"Acme", "  Rocket", "Brisk", "  Zed"};
        QTest::newRow("bug counts as a feature")
            << QByteArray("<Has feature=\"Bug/No alpha\"/>") << QStringList{"Required feature: Bug/No alpha"}
            << QStringList{"Zeta", "  Beta"};
        QTest::newRow("vendor excluded") << QByteArray("<Vendor isNot=\"Zeta\"/>") << QStringList{"Vendor isn't Zeta"}
                                         << QStringList{"Acme", "  Rocket", "Brisk", "  Zed"};
        QTest::newRow("constant, undefined refused")
            << QByteArray("<Constant op=\"GT\" name=\"ScreenSize/X,pixels\" value=\"150\" allowUndefined=\"false\"/>")
            << QStringList{"ScreenSize/X,pixels > 150"}
            << QStringList{"Acme", "  Rocket", "Brisk", "  Zed", "Zeta", "  Alpha"};
        QTest::newRow("criteria combine, in project order")
            << QByteArray("<Lacks feature=\"Camera\"/><Has feature=\"Bluetooth\"/>")
            << QStringList{"Forbidden feature: Camera", "Required feature: Bluetooth"} << QStringList{"Zeta", "  Alpha"};
        QTest::newRow("nothing matches") << QByteArray("<Device is=\"\"/>") << QStringList{"Device is "}
                                         << QStringList{};
    }

    void treeFollowsCriteria()
    {
        QFETCH(QByteArray, criteria);
        QFETCH(QStringList, descriptions);
        QFETCH(QStringList, expected);
        openProject(writeProject("", criteria));
        QCOMPARE(texts(), expected);
        QCOMPARE(tree()->headerItem()->text(0), QString("Devices"));
        QStringList listed;
        for (int i = 0; i < criteriaList()->count(); ++i) {
            listed << criteriaList()->item(i)->text();
            QCOMPARE(criteriaList()->item(i)->data(Qt::UserRole).toInt(), i);
        }
        QCOMPARE(listed, descriptions);
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void iconsOfVendorsAndDevices()
    {
        openProject(m_kit->writeProject("projects/p/p.vnp", "p", {}));
        QCOMPARE(iconImage(item("Acme")->icon(0)), iconImage(QIcon(m_kit->path("profiles/vendors/Acme/icon.png"))));
        QVERIFY2(item("Brisk")->icon(0).isNull() || iconImage(item("Brisk")->icon(0)).isNull(),
                 "a vendor without icon.png has an empty icon");
        for (const char* device : {"Rocket", "Zed", "Alpha", "Beta", "Gamma"})
            QVERIFY2(iconImage(item(device)->icon(0)) == iconImage(m_phone), device);
        QVERIFY(iconImage(m_phone) != iconImage(m_target));
        QCOMPARE(item("Acme")->data(0, Qt::UserRole).value<quintptr>(), quintptr(0));
    }

    void useAsTarget_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<bool>("warned");
        QTest::newRow("both constants") << "Rocket" << "Acme" << "176" << "208" << false;
        QTest::newRow("width only, below the field's range") << "Gamma" << "Zeta" << "100" << "320" << false;
        QTest::newRow("no constants") << "Beta" << "Zeta" << "240" << "320" << true;
    }

    void useAsTarget()
    {
        QFETCH(QString, device);
        QFETCH(QString, vendor);
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(bool, warned);
        openProject(m_kit->writeProject("projects/p/p.vnp", "p", {}));
        select(device);
        panel()->useAsTarget();

        QCOMPARE(m_window->findChild<QLineEdit*>("lineScreenWidth")->text(), width);
        QCOMPARE(m_window->findChild<QLineEdit*>("lineScreenHeight")->text(), height);
        QCOMPARE(QString::fromStdString(project()->peekProperty("screenWidth")), width);
        QCOMPARE(QString::fromStdString(project()->peekProperty("screenHeight")), height);
        QCOMPARE(QString::fromStdString(project()->peekProperty("targetDevice")), device);
        QCOMPARE(QString::fromStdString(project()->peekProperty("targetVendor")), vendor);
        if (warned) {
            QCOMPARE(m_dialogs.titles(), QStringList{"Screen size unavailable"});
            QCOMPARE(m_dialogs.messages.first().text,
                     QString("The selected device lacks information about screen size - the emulator will default "
                             "to 240x320"));
        } else {
            QVERIFY(m_dialogs.messages.isEmpty());
        }
        QVERIFY(texts().contains("  " + device + "@"));
        QVERIFY(texts().contains(vendor + "*"));
        QCOMPARE(texts().filter("@").size(), 1);
        QCOMPARE(QString::fromStdString(panel()->currentTarget()->getName()), device);
    }

    void targetDropsOutWithOneWarningAndTheProjectKeepsIt()
    {
        openProject(writeProject("\t\t<Property name=\"targetVendor\" value=\"Acme\"/>\n"
                                 "\t\t<Property name=\"targetDevice\" value=\"Rocket\"/>\n",
                                 ""));
        QCOMPARE(texts().mid(0, 2), (QStringList{"Acme*", "  Rocket@"}));
        QVERIFY(m_dialogs.messages.isEmpty());

        addCriterion(new Brask::Lacks("Camera"));
        QCOMPARE(m_dialogs.titles(), QStringList{"Target phone unavailable"});
        QCOMPARE(m_dialogs.messages.first().text,
                 QString("The selected target device no longer meets the selected criteria and has been removed."));
        QVERIFY(texts().filter("@").isEmpty());
        QVERIFY(!panel()->currentTarget());
        QCOMPARE(project()->peekProperty("targetVendor"), std::string("Acme"));
        QCOMPARE(project()->peekProperty("targetDevice"), std::string("Rocket"));

        // Forgotten in the window: letting Rocket back in warns no more and
        // shows no target.
        criteriaList()->setCurrentRow(0);
        panel()->deleteCriterionClicked(false);
        QCOMPARE(m_dialogs.messages.size(), 1);
        QCOMPARE(texts().mid(0, 2), (QStringList{"Acme", "  Rocket"}));

        // The project still names it, so reopening finds it again.
        QVERIFY(m_window->projectManager().writeProject(m_kit->path("projects/p/p.vnp").toStdString()));
        openProject(m_kit->path("projects/p/p.vnp"));
        QCOMPARE(texts().mid(0, 2), (QStringList{"Acme*", "  Rocket@"}));
        QCOMPARE(m_dialogs.messages.size(), 1);
    }

    void openingAProjectWhoseTargetFailsWarnsOnce()
    {
        openProject(writeProject("\t\t<Property name=\"targetVendor\" value=\"Acme\"/>\n"
                                 "\t\t<Property name=\"targetDevice\" value=\"Rocket\"/>\n",
                                 "\t\t<Lacks feature=\"Camera\"/>\n"));
        QCOMPARE(m_dialogs.titles(), QStringList{"Target phone unavailable"});
        QVERIFY(!panel()->currentTarget());
        // Later rebuilds do not bring the warning back.
        panel()->buildProfileTree();
        QCOMPARE(m_dialogs.messages.size(), 1);
    }

    void newProjectForgetsTheTarget()
    {
        openProject(m_kit->writeProject("projects/p/p.vnp", "p", {}));
        select("Zed");
        panel()->useAsTarget();
        QVERIFY(panel()->currentTarget());
        QDir().mkpath(m_kit->path("projects/q"));
        m_dialogs.nextFileNames << m_kit->path("projects/q/q.vnp");
        m_window->findChild<QAction*>("actionNew_Project")->trigger();
        QVERIFY(!panel()->currentTarget());
        QVERIFY(texts().filter("@").isEmpty());
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void reloadFindsTheTargetAgainByName()
    {
        openProject(m_kit->writeProject("projects/p/p.vnp", "p", {}));
        select("Rocket");
        panel()->useAsTarget();
        select("Rocket");
        m_window->projectManager().reloadProfiles();
        // Items built from the old database no longer lead to a device.
        QVERIFY(panel()->menuForSelection() == nullptr);
        panel()->viewProfile();
        QVERIFY(m_starter.started.isEmpty());

        const Brask::Device* fresh = m_window->projectManager().getProfileDatabase().findDevice("Acme", "Rocket");
        QCOMPARE(panel()->currentTarget(), fresh);
        panel()->buildProfileTree();
        QVERIFY(texts().contains("  Rocket@"));
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void contextMenuOnlyOnDevices()
    {
        openProject(m_kit->writeProject("projects/p/p.vnp", "p", {}));
        tree()->clearSelection();
        QVERIFY(panel()->menuForSelection() == nullptr);
        select("Zeta");
        QVERIFY(panel()->menuForSelection() == nullptr);
        panel()->profileMenuRequested(QPoint(5, 5));
        QVERIFY(!panel()->profileMenu()->isVisible());
        tree()->setSelectionMode(QAbstractItemView::ExtendedSelection);
        select("Zed");
        item("Alpha")->setSelected(true);
        QVERIFY2(panel()->menuForSelection() == nullptr, "two items selected");
        select("Zed");
        QMenu* menu = panel()->menuForSelection();
        QVERIFY(menu);
        QStringList entries;
        for (const QAction* a : menu->actions())
            entries << a->text();
        QCOMPARE(entries, (QStringList{"View profile...", "Use as target"}));
        m_window->show();
        panel()->profileMenuRequested(tree()->visualItemRect(item("Zed")).center());
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
    }

    void viewProfileStartsTheProfileTool()
    {
        openProject(m_kit->writeProject("projects/p/p.vnp", "p", {}));
        auto& types = m_window->projectManager().getConfig().fileTypes;
        for (Brask::FileType& type : types)
            if (type.extension == "*profile")
                type.cmdLine = "viewer -r %file";
        select("Zed");
        panel()->viewProfile();
        QCOMPARE(m_starter.started,
                 QStringList{"viewer -r " + m_kit->path("profiles/vendors/Brisk/Zed/profile.h")});
        // No "*profile" entry: nothing to start, nothing said.
        types.erase(std::remove_if(types.begin(), types.end(),
                                   [](const Brask::FileType& t) { return t.extension == "*profile"; }),
                    types.end());
        m_starter.succeed = false;
        panel()->viewProfile();
        QCOMPARE(m_starter.started.size(), 1);
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void deleteRemovesTheSelectedCriterion()
    {
        openProject(m_kit->writeProject("projects/p/p.vnp", "p", {}));
        addCriterion(new Brask::Has("Bluetooth"));
        addCriterion(new Brask::Has("Camera"));
        addCriterion(new Brask::Not(false, "Rocket"));
        QCOMPARE(texts(), (QStringList{"Brisk", "  Zed"}));

        // Nothing selected: nothing removed, the tree rebuilt all the same.
        criteriaList()->clearSelection();
        tree()->addTopLevelItem(new QTreeWidgetItem(QStringList("stray")));
        panel()->deleteCriterionClicked(false);
        QCOMPARE(project()->getCriteria().size(), size_t(3));
        QCOMPARE(texts(), (QStringList{"Brisk", "  Zed"}));

        criteriaList()->setCurrentRow(1);
        panel()->deleteCriterionClicked(false);
        QCOMPARE(project()->getCriteria().size(), size_t(2));
        QCOMPARE(project()->getCriteria()[0]->getDescription(), std::string("Required feature: Bluetooth"));
        QCOMPARE(project()->getCriteria()[1]->getDescription(), std::string("Device isn't Rocket"));
        QCOMPARE(criteriaList()->count(), 2);
        QCOMPARE(criteriaList()->item(1)->text(), QString("Device isn't Rocket"));
        QCOMPARE(texts(), (QStringList{"Brisk", "  Zed", "Zeta", "  Alpha"}));
    }
};

QTEST_MAIN(ProfilesTest)
#include "profiles_test.moc"
