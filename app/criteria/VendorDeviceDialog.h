#pragma once
// Builds an Is or Not criterion on one vendor or one device, picked by
// checking it in a tree; at most one box is checked at a time.

#include <QDialog>

#include <memory>

namespace Ui {
class DeviceVendor;
}
namespace Brask {
class Criterion;
class ProfileDatabase;
} // namespace Brask
class QTreeWidgetItem;

class VendorDeviceDialog : public QDialog {
    Q_OBJECT
public:
    explicit VendorDeviceDialog(const Brask::ProfileDatabase& database, QWidget* parent = nullptr,
                                Qt::WindowFlags flags = {});
    ~VendorDeviceDialog() override;

    // The criterion for the checked item, or nullptr when nothing is checked.
    std::unique_ptr<Brask::Criterion> makeCriterion() const;

public slots:
    void chooseDevice(bool state);
    void chooseVendor(bool state);
    void itemChanged(QTreeWidgetItem* item, int column);

private:
    std::unique_ptr<Ui::DeviceVendor> m_ui;
    const Brask::ProfileDatabase& m_database;
    QTreeWidgetItem* m_checkedItem = nullptr;
};
