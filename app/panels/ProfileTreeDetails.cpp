#include "app/panels/ProfileTreeDetails.h"

#include "core/ProjectManager.h"
#include "core/builder/packaging/JavaMePackager.h"
#include "core/profiles/Device.h"
#include "core/builder/packaging/PackageMap.h"
#include "core/profiles/TargetExplanation.h"
#include "core/profiles/Vendor.h"
#include "ui_Buildtool.h"

#include <QCheckBox>
#include <QSettings>

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

QString screenSize(const Brask::Device& device)
{
    const int width = device.getConstant("ScreenSize/X,pixels");
    const int height = device.getConstant("ScreenSize/Y,pixels");
    if (width < 0)
        return QObject::tr("unknown");
    return QObject::tr("%1 x %2 pixels")
        .arg(width)
        .arg(height < 0 ? QObject::tr("unknown") : QString::number(height));
}

QString targetTooltip(const Brask::Device& device, const Brask::PackageMap& map)
{
    const QString runtime = fromStd(Brask::JavaMePackager::runtimeIdentifier(device.getRuntime()));
    const QString package = fromStd(map.packagePathFor(&device));
    return QObject::tr("Runtime: %1\nPackage: %2\nScreen size: %3")
        .arg(runtime.isEmpty() ? QObject::tr("(empty)") : runtime, package, screenSize(device));
}

} // namespace

ProfileTreeDetails::ProfileTreeDetails(Ui::BuildtoolClass& ui, Brask::ProjectManager& manager, QObject* parent)
    : QObject(parent)
    , m_ui(ui)
    , m_manager(manager)
    , m_box(new QCheckBox(tr("Show excluded devices")))
{
    m_box->setObjectName(QStringLiteral("checkShowExcluded"));
    m_box->setToolTip(tr("Also list the devices the criteria reject, greyed, with the reason"));
    m_box->setChecked(QSettings().value(QLatin1String(SettingsKey), false).toBool());
    ui.vboxLayout1->addWidget(m_box);
    connect(m_box, &QCheckBox::toggled, this, [this](bool on) {
        QSettings settings;
        settings.setValue(QLatin1String(SettingsKey), on);
        emit showExcludedChanged();
    });
}

bool ProfileTreeDetails::showsExcluded() const
{
    return m_box->isChecked();
}

void ProfileTreeDetails::decorate(const QHash<QString, QIcon>& vendorIcons, const QIcon& phoneIcon)
{
    const Brask::Project* project = m_manager.getProject();
    if (!project)
        return;
    QTreeWidget* tree = m_ui.profileTree;
    const Brask::PackageMap map = Brask::buildPackageMap(m_manager);
    QHash<QString, QTreeWidgetItem*> vendorItems;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* vendorItem = tree->topLevelItem(i);
        vendorItems.insert(vendorItem->text(0), vendorItem);
        for (int j = 0; j < vendorItem->childCount(); ++j) {
            QTreeWidgetItem* item = vendorItem->child(j);
            const auto* device = reinterpret_cast<const Brask::Device*>(item->data(0, Qt::UserRole).value<quintptr>());
            if (device)
                item->setToolTip(0, targetTooltip(*device, map));
        }
    }

    const Brask::CriterionList& criteria = project->getCriteria();
    const Brask::TargetExplanation explanation(m_manager.getProfileDatabase(), criteria);
    QListWidget* list = m_ui.criteriaList;
    // Rows stand for the project's criteria in order (deleting keeps that).
    for (int row = 0; row < list->count() && row < static_cast<int>(explanation.counts().size()); ++row)
        list->item(row)->setToolTip(fromStd(Brask::countText(explanation.counts()[row], explanation.deviceCount())));

    if (!showsExcluded())
        return;
    const QBrush grey = tree->palette().brush(QPalette::Disabled, QPalette::Text);
    for (const auto& verdict : explanation.verdicts()) {
        if (verdict.rejectedBy < 0)
            continue;
        const Brask::Vendor* vendor = verdict.device->getVendor();
        const QString vendorName = vendor ? fromStd(vendor->getName()) : QString();
        QTreeWidgetItem*& vendorItem = vendorItems[vendorName];
        if (!vendorItem) {
            // A vendor none of whose devices is a target.
            vendorItem = new QTreeWidgetItem(QStringList(vendorName));
            vendorItem->setIcon(0, vendorIcons.value(vendorName));
            vendorItem->setData(0, Qt::UserRole, QVariant::fromValue(quintptr(0)));
            vendorItem->setData(0, ExcludedRole, true);
            vendorItem->setFlags(vendorItem->flags() & ~Qt::ItemIsSelectable);
            vendorItem->setForeground(0, grey);
            vendorItem->setToolTip(0, tr("No device of this vendor is a target"));
            tree->addTopLevelItem(vendorItem);
        }
        auto* item = new QTreeWidgetItem(QStringList(fromStd(verdict.device->getName())));
        item->setData(0, Qt::UserRole, QVariant::fromValue(quintptr(0)));
        item->setData(0, ExcludedRole, true);
        // Nothing can be done with it: a click gives it no highlight.
        item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
        item->setIcon(0, phoneIcon.pixmap(32, 32, QIcon::Disabled));
        item->setForeground(0, grey);
        item->setToolTip(0, tr("Not a target: %1").arg(fromStd(explanation.explain(verdict))));
        vendorItem->addChild(item);
    }
}
