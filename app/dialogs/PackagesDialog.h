#pragma once
// Build > "Packages...": which package each target device gets, as a tree
// package > vendor > device, with each package's size and time once a
// build has made it ("not built yet" before). Read-only; computed from the
// loaded database and the open project when the dialog is made.

#include <QDialog>

namespace Brask {
class ProjectManager;
}
class QLabel;
class QTreeWidget;

class PackagesDialog : public QDialog {
    Q_OBJECT
public:
    explicit PackagesDialog(const Brask::ProjectManager& manager, QWidget* parent = nullptr);

    QTreeWidget* tree() const { return m_tree; }

    // Columns of the tree.
    enum Column { PackageColumn = 0, SizeColumn = 1, BuiltColumn = 2 };

private:
    void fill(const Brask::ProjectManager& manager);

    QTreeWidget* m_tree;
    QLabel* m_summary;
};
