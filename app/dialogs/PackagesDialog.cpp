#include "app/dialogs/PackagesDialog.h"

#include "core/ProjectManager.h"
#include "core/profiles/Device.h"
#include "core/builder/packaging/PackageMap.h"
#include "core/profiles/Vendor.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

QString counted(int count, const QString& one, const QString& many)
{
    return QString::number(count) + QLatin1Char(' ') + (count == 1 ? one : many);
}

// Size and modification time of a package file, or "not built yet".
void showFileState(QTreeWidgetItem* item, const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        item->setText(PackagesDialog::SizeColumn, QObject::tr("not built yet"));
        return;
    }
    item->setText(PackagesDialog::SizeColumn, QObject::tr("%1 bytes").arg(info.size()));
    item->setText(PackagesDialog::BuiltColumn, info.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
}

// Vendor items under `parent` in target order, each holding its devices.
void addDevices(QTreeWidgetItem* parent, const KVUtil::Vector<const Brask::Device*>& devices)
{
    QHash<const Brask::Vendor*, QTreeWidgetItem*> vendors;
    for (const Brask::Device* device : devices) {
        const Brask::Vendor* vendor = device->getVendor();
        QTreeWidgetItem*& vendorItem = vendors[vendor];
        if (!vendorItem)
            vendorItem = new QTreeWidgetItem(parent, QStringList(vendor ? fromStd(vendor->getName()) : QString()));
        new QTreeWidgetItem(vendorItem, QStringList(fromStd(device->getName())));
    }
}

} // namespace

PackagesDialog::PackagesDialog(const Brask::ProjectManager& manager, QWidget* parent)
    : QDialog(parent)
    , m_tree(new QTreeWidget(this))
    , m_summary(new QLabel(this))
{
    setObjectName(QStringLiteral("packagesDialog"));
    setWindowTitle(tr("Packages"));
    if (parent)
        setWindowIcon(parent->windowIcon());
    m_tree->setObjectName(QStringLiteral("packagesTree"));
    m_tree->setHeaderLabels({tr("Package"), tr("Size"), tr("Built")});
    m_tree->setSelectionMode(QAbstractItemView::NoSelection);
    m_summary->setObjectName(QStringLiteral("packagesSummary"));
    m_summary->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->setObjectName(QStringLiteral("buttonBox"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    layout->addWidget(m_summary);
    layout->addWidget(buttons);

    fill(manager);
    m_tree->expandAll();
    m_tree->header()->setSectionResizeMode(PackageColumn, QHeaderView::ResizeToContents);
    resize(720, 420);
}

void PackagesDialog::fill(const Brask::ProjectManager& manager)
{
    if (!manager.getProject()) {
        m_summary->setText(tr("No project is open."));
        return;
    }
    const Brask::PackageMap map = Brask::buildPackageMap(manager);
    const int devices = static_cast<int>(map.targets.size());
    if (map.symbian) {
        auto* item = new QTreeWidgetItem(m_tree, QStringList(fromStd(map.sisPath)));
        item->setToolTip(PackageColumn, tr("Symbian UID %1").arg(fromStd(map.uid)));
        showFileState(item, fromStd(map.sisPath));
        QString text = tr("No JAR is made: the project has a Symbian UID.");
        if (!map.uidValid)
            text += QLatin1Char(' ') + tr("The build stops at \"Bad UID\": the UID must be 0x and eight hexadecimal "
                                          "digits.");
        m_summary->setText(text + QLatin1Char(' ')
                           + counted(devices, tr("device meets the criteria."), tr("devices meet the criteria.")));
        return;
    }
    for (const Brask::RuntimePackage& package : map.packages) {
        auto* item = new QTreeWidgetItem(m_tree, QStringList(fromStd(package.jarPath)));
        item->setToolTip(PackageColumn, tr("Runtime %1").arg(fromStd(package.runtime)));
        showFileState(item, fromStd(package.jarPath));
        addDevices(item, package.devices);
    }
    if (map.packages.empty())
        m_summary->setText(tr("No JAR is made: no device meets the criteria."));
    else
        m_summary->setText(tr("Total: %1, %2")
                               .arg(counted(devices, tr("device"), tr("devices")),
                                    counted(static_cast<int>(map.packages.size()), tr("JAR"), tr("JARs"))));
}
