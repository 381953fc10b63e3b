// Grabs the main window with a project open to a PNG file, offscreen:
//
//   varbuild-screenshot ROOT PROJECT OUTPUT.png [WIDTH HEIGHT]
//   varbuild-screenshot --screens ROOT PROJECT DIRECTORY [WIDTH HEIGHT]
//
// The first form builds the project and grabs the window (docs/screenshot.png);
// the second grabs both tabs and every dialog of the tabs into DIRECTORY
// (docs/screens/). Used by tools/screenshot.sh.

#include "app/Buildtool.h"
#include "app/dialogs/ConfigDialog.h"
#include "app/criteria/ConstantDialog.h"
#include "app/criteria/CriteriaDialog.h"
#include "app/criteria/FeatureDialog.h"
#include "app/services/FeedbackDialog.h"
#include "app/services/InviteDialog.h"
#include "app/panels/ProfilesPanel.h"
#include "app/dialogs/UserDialogs.h"
#include "app/criteria/VendorDeviceDialog.h"
#include "core/ProjectManager.h"
#include "core/profiles/Criteria.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QPixmap>
#include <QRadioButton>
#include <QTabWidget>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>

namespace {

// Boxes would wait for a click nobody gives: print them instead.
class PrintingDialogs : public UserDialogs {
public:
    void showMessage(Kind, const QString& title, const QString& text) override
    {
        std::fprintf(stderr, "[%s] %s\n", qPrintable(title), qPrintable(text));
    }
    SaveAnswer askToSave(const QString& title, const QString& text) override
    {
        std::fprintf(stderr, "[%s] %s (not saved)\n", qPrintable(title), qPrintable(text));
        return SaveAnswer::Discard;
    }
    QString getSaveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString getOpenFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
};

bool save(QWidget& widget, const QString& path)
{
    widget.show();
    QApplication::processEvents();
    if (widget.grab().save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

void selectRow(QListWidget* list, int row)
{
    list->setCurrentRow(row);
    list->setFocus();
}

int grabScreens(Buildtool& window, const QString& directory)
{
    QDir().mkpath(directory);
    Brask::ProjectManager& manager = window.projectManager();
    const Brask::ProfileDatabase& database = manager.getProfileDatabase();
    bool ok = true;

    // A project with a criterion and a target device, as a user would have it.
    if (Brask::Project* project = manager.getProject()) {
        project->addCriterion(std::make_unique<Brask::Has>("MIDP 2.0"));
        project->addCriterion(std::make_unique<Brask::Constant>(0, "ScreenSize/X,pixels", 128, true));
        window.criteriaChanged();
        // The first listed device that states its screen size.
        auto* tree = window.findChild<QTreeWidget*>("profileTree");
        QTreeWidgetItem* target = nullptr;
        for (int i = 0; i < tree->topLevelItemCount() && !target; ++i) {
            QTreeWidgetItem* vendor = tree->topLevelItem(i);
            for (int j = 0; j < vendor->childCount() && !target; ++j) {
                const std::string name = vendor->child(j)->text(0).toStdString();
                const Brask::Device* device = database.findDevice(vendor->text(0).toStdString(), name);
                if (device && device->getConstant("ScreenSize/X,pixels") != -1)
                    target = vendor->child(j);
            }
        }
        if (target) {
            target->setSelected(true);
            window.profilesPanel()->useAsTarget();
        }
    }
    auto* tabs = window.findChild<QTabWidget*>("tabPane");
    tabs->setCurrentIndex(0);
    ok &= save(window, directory + "/profiles-tab.png");
    tabs->setCurrentIndex(1);
    ok &= save(window, directory + "/settings-tab.png");

    CriteriaDialog criteria;
    criteria.findChild<QRadioButton*>("constantRadio")->setChecked(true);
    ok &= save(criteria, directory + "/dialog-criteria.png");

    FeatureDialog feature(database);
    selectRow(feature.findChild<QListWidget*>("featureList"), 2);
    ok &= save(feature, directory + "/dialog-feature.png");

    VendorDeviceDialog vendorDevice(database);
    vendorDevice.findChild<QRadioButton*>("deviceRadio")->setChecked(true);
    auto* devices = vendorDevice.findChild<QTreeWidget*>("treeWidget");
    if (devices->topLevelItemCount() > 0 && devices->topLevelItem(0)->childCount() > 1)
        devices->topLevelItem(0)->child(1)->setCheckState(0, Qt::Checked);
    ok &= save(vendorDevice, directory + "/dialog-vendor-device.png");

    PrintingDialogs dialogs;
    ConstantDialog constant(database, dialogs);
    selectRow(constant.findChild<QListWidget*>("constantList"), 0);
    ok &= save(constant, directory + "/dialog-constant.png");

    ConfigDialog preferences(manager.getConfig(), dialogs);
    ok &= save(preferences, directory + "/preferences.png");

    FeedbackDialog feedback;
    ok &= save(feedback, directory + "/dialog-feedback.png");
    InviteDialog invite;
    ok &= save(invite, directory + "/dialog-invite.png");
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // The demo kit starts with autoUpdates on: its checks must not leave
    // this machine, so they meet a closed loopback port unless told otherwise.
    if (qEnvironmentVariableIsEmpty("VARNEL_UPDATE_SERVER"))
        qputenv("VARNEL_UPDATE_SERVER", "127.0.0.1:9");
    if ((argc == 5 || argc == 7) && std::string(argv[1]) == "--screens") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("VARNELDIR", argv[2]);
        QApplication app(argc, argv);
        const QString root = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
        const QString project = QDir(QDir::currentPath()).absoluteFilePath(QString::fromLocal8Bit(argv[3]));
        const QString output = QDir(QDir::currentPath()).absoluteFilePath(QString::fromLocal8Bit(argv[4]));
        if (!QDir::setCurrent(root + "/bin")) {
            std::fprintf(stderr, "no bin directory under %s\n", argv[2]);
            return 1;
        }
        PrintingDialogs dialogs;
        Buildtool window(root, project, &dialogs);
        window.resize(argc == 7 ? std::atoi(argv[5]) : 1024, argc == 7 ? std::atoi(argv[6]) : 720);
        return grabScreens(window, output);
    }

    if (argc != 4 && argc != 6) {
        std::fprintf(stderr, "usage: varbuild-screenshot ROOT PROJECT OUTPUT.png [WIDTH HEIGHT]\n"
                             "       varbuild-screenshot --screens ROOT PROJECT DIRECTORY [WIDTH HEIGHT]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VARNELDIR", argv[1]);
    QApplication app(argc, argv);
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString project = QDir(QDir::currentPath()).absoluteFilePath(QString::fromLocal8Bit(argv[2]));
    const QString output = QDir(QDir::currentPath()).absoluteFilePath(QString::fromLocal8Bit(argv[3]));
    if (!QDir::setCurrent(root + "/bin")) {
        std::fprintf(stderr, "no bin directory under %s\n", argv[1]);
        return 1;
    }

    PrintingDialogs dialogs;
    Buildtool window(root, project, &dialogs);
    window.resize(argc == 6 ? std::atoi(argv[4]) : 1024, argc == 6 ? std::atoi(argv[5]) : 720);
    window.show();
    // A real build of the project fills the output pane.
    window.build(false);
    QApplication::processEvents();
    if (!window.grab().save(output)) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
