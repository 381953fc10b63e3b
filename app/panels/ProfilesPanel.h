#pragma once
// The "Profiles" tab: the tree of the devices the project's criteria select,
// by vendor; the criteria list with Add and Delete; and the target device,
// whose screen size the emulator uses and whose package goes to the phone.

#include "core/profiles/DeviceRef.h"

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QPoint>

#include <memory>

namespace Ui {
class BuildtoolClass;
}
namespace Brask {
class Criterion;
class Device;
class ProjectManager;
} // namespace Brask
class DialogRunner;
class QMenu;
class QTreeWidgetItem;
class QWidget;
class ToolStarter;
class ProfileTreeDetails;
class UserDialogs;

class ProfilesPanel : public QObject {
    Q_OBJECT
public:
    // `runner` runs the criterion dialogs; it and the other references must
    // outlive the panel. `window` lends its icon to the dialogs.
    ProfilesPanel(QWidget* window, Ui::BuildtoolClass& ui, Brask::ProjectManager& manager, UserDialogs& dialogs,
                  ToolStarter& starter, DialogRunner* runner, QObject* parent = nullptr);
    ~ProfilesPanel() override;

    void setDialogRunner(DialogRunner* runner) { m_runner = runner; }

    // Loads the phone icons from the gfx directory below the current
    // directory (the installation's bin at construction time).
    void loadIcons();

    // While the database is still being read the tree holds one line that
    // says so, and is built again when it arrives (databaseArrived()).
    void buildProfileTree();
    // The profile database has been read: takes it, makes the project's
    // target device the target and builds the tree.
    void databaseArrived();
    // Whether the tree still says the database is being read.
    bool showsLoading() const { return m_showsLoading; }
    // Refills the criteria list from the project and rebuilds the tree.
    void criteriaChanged();

    // Makes the device named by the project's targetVendor and targetDevice
    // the target (none when the database has no such device); while the
    // database is being read, once it has been.
    void resolveTargetFromProject();
    // Forgets the target in the window; the project keeps naming it.
    void clearTarget();
    // The target device, or nullptr. After a reload of the profile database
    // the device is looked up again by its names. Waits for a database still
    // being read when the project names a target.
    const Brask::Device* currentTarget();

    // "View profile..." and "Use as target" when exactly one device item is
    // selected; nullptr otherwise (vendor items get no menu).
    QMenu* menuForSelection() const;
    QMenu* profileMenu() const { return m_profileMenu.get(); }

signals:
    // A line for the output pane.
    void message(const QString& text);

public slots:
    void profileMenuRequested(const QPoint& pos);
    void viewProfile();
    void useAsTarget();
    void deleteCriterionClicked(bool checked);
    void addCriterionClicked(bool checked);

private:
    // The device of a tree item; nullptr for vendor items and for items built
    // before the database was last reloaded.
    const Brask::Device* deviceOf(const QTreeWidgetItem* item) const;
    const Brask::Device* selectedDevice() const;
    std::unique_ptr<Brask::Criterion> runCriterionDialogs();

    QWidget* m_window;
    Ui::BuildtoolClass& m_ui;
    Brask::ProjectManager& m_manager;
    UserDialogs& m_dialogs;
    ToolStarter& m_starter;
    DialogRunner* m_runner;
    std::unique_ptr<QMenu> m_profileMenu;
    QHash<QString, QIcon> m_vendorIcons;
    QIcon m_phoneIcon;
    QIcon m_targetIcon;
    Brask::DeviceRef m_target;
    // The project names a target that the database, still being read, is to
    // resolve.
    bool m_targetPending = false;
    bool m_showsLoading = false;
    // Database generation the tree's device items were built from.
    unsigned m_treeGeneration = 0;
    // Tooltips, criterion counts and the excluded devices.
    ProfileTreeDetails* m_details = nullptr;
};
