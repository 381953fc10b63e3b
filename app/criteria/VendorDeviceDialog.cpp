#include "app/criteria/VendorDeviceDialog.h"

#include "core/profiles/Criteria.h"
#include "core/profiles/ProfileDatabase.h"
#include "ui_VendorDeviceDialog.h"

namespace {

QTreeWidgetItem* makeItem(const std::string& name, bool checkable)
{
    auto* item = new QTreeWidgetItem(QStringList(QString::fromStdString(name)));
    if (checkable) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, Qt::Unchecked);
    } else {
        item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    }
    return item;
}

} // namespace

VendorDeviceDialog::VendorDeviceDialog(const Brask::ProfileDatabase& database, QWidget* parent,
                                       Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(std::make_unique<Ui::DeviceVendor>())
    , m_database(database)
{
    m_ui->setupUi(this);
    chooseVendor(true);
    connect(m_ui->deviceRadio, &QRadioButton::toggled, this, &VendorDeviceDialog::chooseDevice);
    connect(m_ui->vendorRadio, &QRadioButton::toggled, this, &VendorDeviceDialog::chooseVendor);
    connect(m_ui->treeWidget, &QTreeWidget::itemChanged, this, &VendorDeviceDialog::itemChanged);
}

VendorDeviceDialog::~VendorDeviceDialog() = default;

void VendorDeviceDialog::chooseVendor(bool state)
{
    if (!state) {
        chooseDevice(true);
        return;
    }
    m_checkedItem = nullptr;
    m_ui->treeWidget->clear();
    for (const auto& vendor : m_database.getVendors())
        m_ui->treeWidget->addTopLevelItem(makeItem(vendor->getName(), true));
}

void VendorDeviceDialog::chooseDevice(bool state)
{
    if (!state) {
        chooseVendor(true);
        return;
    }
    m_checkedItem = nullptr;
    m_ui->treeWidget->clear();
    for (const auto& vendor : m_database.getVendors()) {
        QTreeWidgetItem* vendorItem = makeItem(vendor->getName(), false);
        for (const auto& device : vendor->getDevices())
            vendorItem->addChild(makeItem(device->getName(), true));
        m_ui->treeWidget->addTopLevelItem(vendorItem);
    }
    m_ui->treeWidget->expandAll();
}

void VendorDeviceDialog::itemChanged(QTreeWidgetItem* item, int column)
{
    if (!item)
        return;
    if (item->checkState(column) == Qt::Checked) {
        if (m_checkedItem && m_checkedItem != item)
            m_checkedItem->setCheckState(column, Qt::Unchecked);
        m_checkedItem = item;
    } else if (item == m_checkedItem) {
        // Other changes (an item that was not the checked one) leave the
        // checked box as it is.
        m_checkedItem = nullptr;
    }
}

std::unique_ptr<Brask::Criterion> VendorDeviceDialog::makeCriterion() const
{
    if (!m_checkedItem)
        return nullptr;
    const std::string name = m_checkedItem->text(0).toStdString();
    const bool vendor = m_ui->vendorRadio->isChecked();
    if (m_ui->requireRadio->isChecked())
        return std::make_unique<Brask::Is>(vendor, name);
    return std::make_unique<Brask::Not>(vendor, name);
}
