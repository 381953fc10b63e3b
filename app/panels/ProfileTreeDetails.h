#pragma once
// What the Profiles tab tells beyond the bare lists: a target device's
// runtime, package and screen size as its tooltip; each criterion's counts as
// its tooltip; and, with "Show excluded devices" on, the devices the criteria
// reject, greyed under their vendors with the first rejecting criterion as
// tooltip. Excluded items carry no device reference, so nothing that acts on
// the selected device (the context menu, "Use as target") sees them, and the
// build never does: it asks the core for its targets.

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QString>

namespace Ui {
class BuildtoolClass;
}
namespace Brask {
class ProjectManager;
}
class QCheckBox;
class QTreeWidgetItem;

class ProfileTreeDetails : public QObject {
    Q_OBJECT
public:
    // Item data role that marks an excluded device item (true).
    static constexpr int ExcludedRole = Qt::UserRole + 1;
    // Where the check box's state is kept for the user.
    static constexpr const char* SettingsKey = "profiles/showExcludedDevices";

    // Adds the "Show excluded devices" box below the profile tree, set from
    // the user's settings (off when never set).
    ProfileTreeDetails(Ui::BuildtoolClass& ui, Brask::ProjectManager& manager, QObject* parent = nullptr);

    QCheckBox* showExcludedBox() const { return m_box; }
    bool showsExcluded() const;

    // Called after the tree's target items and the criteria list are filled
    // and before the tree is sorted.
    void decorate(const QHash<QString, QIcon>& vendorIcons, const QIcon& phoneIcon);

signals:
    // The box was toggled: the tree must be rebuilt.
    void showExcludedChanged();

private:
    Ui::BuildtoolClass& m_ui;
    Brask::ProjectManager& m_manager;
    QCheckBox* m_box;
};
