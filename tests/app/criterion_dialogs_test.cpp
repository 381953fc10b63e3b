// Adding criteria: the chooser, the feature, vendor/device and constant
// dialogs, the criterion each appends (element and list line), and
// cancelling at every step.

#include "AppTestSupport.h"
#include "app/Buildtool.h"
#include "app/criteria/ConstantDialog.h"
#include "app/criteria/CriteriaDialog.h"
#include "app/criteria/VendorDeviceDialog.h"
#include "core/ProjectManager.h"
#include "util/Diagnostics.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {

using Script = FakeDialogRunner::Script;

Script choose(const char* radio)
{
    return [radio](QDialog& dialog) {
        clickChild(dialog, radio);
        clickButton(dialog, true);
    };
}

Script cancel()
{
    return [](QDialog& dialog) { clickButton(dialog, false); };
}

QTreeWidgetItem* treeItem(QDialog& dialog, const QString& text)
{
    auto* tree = dialog.findChild<QTreeWidget*>("treeWidget");
    const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty())
        qFatal("no item %s", qPrintable(text));
    return found.first();
}

// Toggles an item's box as the keyboard does.
void toggle(QDialog& dialog, const QString& text)
{
    auto* tree = dialog.findChild<QTreeWidget*>("treeWidget");
    tree->setCurrentItem(treeItem(dialog, text));
    QTest::keyClick(tree, Qt::Key_Space);
}

} // namespace

class CriterionDialogsTest : public WindowTestBase {
    Q_OBJECT
private:

    Brask::Project* project() { return m_window->projectManager().getProject(); }
    // The criteria as "element | list line".
    QStringList criteria()
    {
        QStringList out;
        auto* list = m_window->findChild<QListWidget*>("criteriaList");
        const auto& stored = project()->getCriteria();
        if (int(stored.size()) != list->count())
            return {"list and project differ"};
        for (size_t i = 0; i < stored.size(); ++i)
            out << QString::fromStdString(stored[i]->getXML()) + " | " + list->item(int(i))->text();
        return out;
    }
    QStringList devices()
    {
        QStringList out;
        auto* tree = m_window->findChild<QTreeWidget*>("profileTree");
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j)
                out << tree->topLevelItem(i)->child(j)->text(0);
        return out;
    }
    void add(const QList<Script>& scripts)
    {
        m_runner.scripts = scripts;
        m_runner.ran.clear();
        QTest::mouseClick(m_window->findChild<QPushButton*>("addCriterionButton"), Qt::LeftButton);
    }

private slots:
    void initTestCase() { startSuite(); }

    void init()
    {
        startTest();
        m_kit->writeFile("profiles/vendors/definitions.txt",
                         "KV_PROF_SUPPORT_CAMERA,Camera\nKV_PROF_CONST_SCREENSIZE_X,ScreenSize/X,pixels\n"
                         "KV_PROF_SUPPORT_BT,Bluetooth\nKV_PROF_CONST_SCREENSIZE_Y,ScreenSize/Y,pixels\n"
                         "KV_PROF_BUG_NO_ALPHA,Bug/No alpha\nKV_PROF_SUPPORT_MIDI,Sound/MIDI\n");
        m_kit->writeDevice("Acme", "Spark", "#define KV_PROF_SUPPORT_MIDI\n#define KV_PROF_CONST_SCREENSIZE_X 128\n");
        m_kit->writeDevice("Brisk", "Zed", "#define KV_PROF_SUPPORT_BT\n");
        openWindow();
        m_window->show();
        m_dialogs.nextFileNames << m_kit->writeProject("projects/p/p.vnp", "p", {});
        m_window->findChild<QAction*>("actionOpen")->trigger();
        QVERIFY(project());
    }

    void cleanup() { endTest(); }

    void chooserDescribesTheKind_data()
    {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("description");
        QTest::newRow("feature") << "featureRadio" << 0
                                 << "Add a criterion based on the availability or absence of a feature.";
        QTest::newRow("vendor/device") << "vendorDeviceRadio" << 1
                                       << "Add a criterion excluding devices based on model or vendor.";
        QTest::newRow("constant") << "constantRadio" << 2
                                  << "Add a criterion based on the value of a certain constant.";
    }

    void chooserDescribesTheKind()
    {
        QFETCH(QString, radio);
        QFETCH(int, kind);
        QFETCH(QString, description);
        CriteriaDialog dialog;
        QCOMPARE(dialog.windowTitle(), QString("Select type of criterion"));
        QCOMPARE(dialog.size(), QSize(346, 211));
        dialog.show();
        // Away and back again, so every row sees its radio toggled on.
        clickChild(dialog, kind == 2 ? "featureRadio" : "constantRadio");
        clickChild(dialog, radio.toLatin1());
        QCOMPARE(dialog.kind(), kind);
        QCOMPARE(dialog.findChild<QLabel*>("description")->text(), description);
    }

    void cancellingAnyStepAddsNothing_data()
    {
        QTest::addColumn<QList<Script>>("scripts");
        QTest::addColumn<QStringList>("ran");
        QTest::newRow("chooser") << QList<Script>{cancel()} << QStringList{"CriteriaDialog"};
        QTest::newRow("feature") << QList<Script>{choose("featureRadio"), cancel()}
                                 << QStringList{"CriteriaDialog", "FeatureDialog"};
        QTest::newRow("vendor/device") << QList<Script>{choose("vendorDeviceRadio"), cancel()}
                                       << QStringList{"CriteriaDialog", "DeviceVendor"};
        QTest::newRow("constant") << QList<Script>{choose("constantRadio"), cancel()}
                                  << QStringList{"CriteriaDialog", "ConstantDialog"};
        const Script okOnly = [](QDialog& dialog) { clickButton(dialog, true); };
        QTest::newRow("feature without a row") << QList<Script>{choose("featureRadio"), okOnly}
                                               << QStringList{"CriteriaDialog", "FeatureDialog"};
        QTest::newRow("nothing checked") << QList<Script>{choose("vendorDeviceRadio"), okOnly}
                                         << QStringList{"CriteriaDialog", "DeviceVendor"};
        QTest::newRow("constant without a row") << QList<Script>{choose("constantRadio"), okOnly}
                                                << QStringList{"CriteriaDialog", "ConstantDialog"};
    }

    void cancellingAnyStepAddsNothing()
    {
        QFETCH(QList<Script>, scripts);
        QFETCH(QStringList, ran);
        add(scripts);
        QCOMPARE(m_runner.ran, ran);
        QVERIFY(project()->getCriteria().empty());
        QCOMPARE(devices(), (QStringList{"Rocket", "Spark", "Zed"}));
        QVERIFY(m_dialogs.messages.isEmpty());
    }

    void featureCriteria()
    {
        add({choose("featureRadio"), [](QDialog& dialog) {
                 QCOMPARE(dialog.windowTitle(), QString("Select feature"));
                 QCOMPARE(dialog.size(), QSize(400, 250));
                 QStringList rows;
                 auto* list = dialog.findChild<QListWidget*>("featureList");
                 for (int i = 0; i < list->count(); ++i)
                     rows << list->item(i)->text();
                 QCOMPARE(rows, (QStringList{"Camera", "Bluetooth", "Bug/No alpha", "Sound/MIDI"}));
                 clickRow(dialog, "featureList", 1);
                 clickButton(dialog, true);
             }});
        add({choose("featureRadio"), [](QDialog& dialog) {
                 clickRow(dialog, "featureList", 3);
                 clickChild(dialog, "disallowRadio");
                 clickButton(dialog, true);
             }});
        QCOMPARE(criteria(), (QStringList{"<Has feature=\"Bluetooth\"/> | Required feature: Bluetooth",
                                          "<Lacks feature=\"Sound/MIDI\"/> | Forbidden feature: Sound/MIDI"}));
        QCOMPARE(devices(), QStringList{"Zed"});
    }

    void vendorAndDeviceCriteria_data()
    {
        QTest::addColumn<bool>("device");
        QTest::addColumn<bool>("disallow");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("devices");
        QTest::newRow("require vendor") << false << false << "Brisk" << "<Vendor is=\"Brisk\"/> | Vendor is Brisk"
                                        << QStringList{"Zed"};
        QTest::newRow("disallow vendor") << false << true << "Brisk"
                                         << "<Vendor isNot=\"Brisk\"/> | Vendor isn't Brisk"
                                         << QStringList{"Rocket", "Spark"};
        QTest::newRow("require device") << true << false << "Spark" << "<Device is=\"Spark\"/> | Device is Spark"
                                        << QStringList{"Spark"};
        QTest::newRow("disallow device") << true << true << "Spark"
                                         << "<Device isNot=\"Spark\"/> | Device isn't Spark"
                                         << QStringList{"Rocket", "Zed"};
    }

    void vendorAndDeviceCriteria()
    {
        QFETCH(bool, device);
        QFETCH(bool, disallow);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(QStringList, devices);
        add({choose("vendorDeviceRadio"), [&](QDialog& dialog) {
                 QCOMPARE(dialog.windowTitle(), QString("Vendor/Device criterion"));
                 if (device)
                     clickChild(dialog, "deviceRadio");
                 if (disallow)
                     clickChild(dialog, "disallowRadio");
                 toggle(dialog, name);
                 clickButton(dialog, true);
             }});
        QCOMPARE(criteria(), QStringList{expected});
        QCOMPARE(this->devices(), devices);
    }

    void vendorDeviceDialogKeepsOneBoxChecked()
    {
        VendorDeviceDialog dialog(m_window->projectManager().getProfileDatabase());
        dialog.show();
        auto* tree = dialog.findChild<QTreeWidget*>("treeWidget");
        QCOMPARE(tree->topLevelItemCount(), 2);
        toggle(dialog, "Acme");
        toggle(dialog, "Brisk");
        QCOMPARE(treeItem(dialog, "Acme")->checkState(0), Qt::Unchecked);
        QCOMPARE(treeItem(dialog, "Brisk")->checkState(0), Qt::Checked);
        QCOMPARE(dialog.makeCriterion()->getXML(), std::string("<Vendor is=\"Brisk\"/>"));
        toggle(dialog, "Brisk");
        QVERIFY(!dialog.makeCriterion());

        // Devices: vendors become uncheckable headings, devices below them.
        clickChild(dialog, "deviceRadio");
        QCOMPARE(tree->topLevelItemCount(), 2);
        QTreeWidgetItem* vendor = treeItem(dialog, "Acme");
        QVERIFY(!(vendor->flags() & Qt::ItemIsUserCheckable));
        QVERIFY(!vendor->data(0, Qt::CheckStateRole).isValid());
        QCOMPARE(vendor->childCount(), 2);
        toggle(dialog, "Acme");
        QVERIFY(!dialog.makeCriterion());
        toggle(dialog, "Rocket");
        toggle(dialog, "Zed");
        QCOMPARE(treeItem(dialog, "Rocket")->checkState(0), Qt::Unchecked);
        QCOMPARE(dialog.makeCriterion()->getXML(), std::string("<Device is=\"Zed\"/>"));
        // Switching back forgets the checked device.
        clickChild(dialog, "vendorRadio");
        QVERIFY(!dialog.makeCriterion());
    }

    void constantCriteria_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("typed"); // empty: the field is left alone
        QTest::addColumn<bool>("pressEnter");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("untouched: > 0") << "" << "" << true
                                        << "<Constant op=\"GT\" name=\"ScreenSize/Y,pixels\" value=\"0\" "
                                           "allowUndefined=\"true\"/> | ScreenSize/Y,pixels > 0"
                                        << QStringList{};
        QTest::newRow("less than -5") << "ltRadio" << "-5" << true
                                      << "<Constant op=\"LT\" name=\"ScreenSize/Y,pixels\" value=\"-5\" "
                                         "allowUndefined=\"true\"/> | ScreenSize/Y,pixels < -5"
                                      << QStringList{};
        QTest::newRow("equal, Ok without leaving the field") << "eqRadio" << "208" << false
                                                             << "<Constant op=\"EQ\" name=\"ScreenSize/Y,pixels\" "
                                                                "value=\"208\" allowUndefined=\"true\"/> | "
                                                                "ScreenSize/Y,pixels == 208"
                                                             << QStringList{};
        QTest::newRow("not a number") << "neRadio" << "12abc" << true
                                      << "<Constant op=\"NE\" name=\"ScreenSize/Y,pixels\" value=\"0\" "
                                         "allowUndefined=\"true\"/> | ScreenSize/Y,pixels != 0"
                                      << QStringList{"VarBuild"};
    }

    void constantCriteria()
    {
        QFETCH(QString, op);
        QFETCH(QString, typed);
        QFETCH(bool, pressEnter);
        QFETCH(QString, expected);
        QFETCH(QStringList, boxes);
        add({choose("constantRadio"), [&](QDialog& dialog) {
                 QCOMPARE(dialog.windowTitle(), QString("Constant criterion"));
                 QCOMPARE(dialog.findChild<QLineEdit*>("valueEdit")->text(), QString("0"));
                 auto* list = dialog.findChild<QListWidget*>("constantList");
                 QCOMPARE(list->count(), 2);
                 QCOMPARE(list->item(0)->text(), QString("ScreenSize/X,pixels"));
                 clickRow(dialog, "constantList", 1);
                 if (!op.isEmpty())
                     clickChild(dialog, op.toLatin1());
                 if (!typed.isEmpty()) {
                     auto* edit = dialog.findChild<QLineEdit*>("valueEdit");
                     edit->clear();
                     QTest::keyClicks(edit, typed);
                     if (pressEnter)
                         QTest::keyClick(edit, Qt::Key_Enter);
                 }
                 clickButton(dialog, true);
             }});
        QCOMPARE(criteria(), QStringList{expected});
        QCOMPARE(m_dialogs.titles(), boxes);
        if (!boxes.isEmpty())
            QCOMPARE(m_dialogs.messages.first().text, QString("Unable to convert"));
    }

    void unconvertibleValueOnOkKeepsTheDialogOpen()
    {
        ConstantDialog dialog(m_window->projectManager().getProfileDatabase(), m_dialogs);
        dialog.show();
        auto* edit = dialog.findChild<QLineEdit*>("valueEdit");
        edit->clear();
        QTest::keyClicks(edit, "7x");
        clickButton(dialog, true);
        QCOMPARE(m_dialogs.titles(), QStringList{"VarBuild"});
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.value(), 0);
        // A second Ok accepts the 0 the box announced.
        clickButton(dialog, true);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(m_dialogs.messages.size(), 1);
    }
};

QTEST_MAIN(CriterionDialogsTest)
#include "criterion_dialogs_test.moc"
