#include "app/panels/ProfilesPanel.h"

#include "app/criteria/ConstantDialog.h"
#include "app/criteria/CriteriaDialog.h"
#include "app/dialogs/DialogRunner.h"
#include "app/criteria/FeatureDialog.h"
#include "app/ToolStarter.h"
#include "app/dialogs/UserDialogs.h"
#include "app/panels/ProfileTreeDetails.h"
#include "app/criteria/VendorDeviceDialog.h"
#include "core/ProjectManager.h"
#include "core/profiles/Criteria.h"
#include "ui_Buildtool.h"

#include <QMenu>

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

const char* const ScreenWidthConstant = "ScreenSize/X,pixels";
const char* const ScreenHeightConstant = "ScreenSize/Y,pixels";

} // namespace

ProfilesPanel::ProfilesPanel(QWidget* window, Ui::BuildtoolClass& ui, Brask::ProjectManager& manager,
                             UserDialogs& dialogs, ToolStarter& starter, DialogRunner* runner, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_ui(ui)
    , m_manager(manager)
    , m_dialogs(dialogs)
    , m_starter(starter)
    , m_runner(runner)
    , m_profileMenu(std::make_unique<QMenu>())
{
    setObjectName(QStringLiteral("profilesPanel"));
    m_profileMenu->setObjectName(QStringLiteral("profileMenu"));
    m_profileMenu->addAction(tr("View profile..."), this, &ProfilesPanel::viewProfile);
    m_profileMenu->addAction(tr("Use as target"), this, &ProfilesPanel::useAsTarget);

    connect(ui.profileTree, &QTreeWidget::customContextMenuRequested, this, &ProfilesPanel::profileMenuRequested);
    connect(ui.addCriterionButton, &QPushButton::clicked, this, &ProfilesPanel::addCriterionClicked);
    connect(ui.deleteCriterionButton, &QPushButton::clicked, this, &ProfilesPanel::deleteCriterionClicked);
    m_details = new ProfileTreeDetails(ui, manager, this);
    connect(m_details, &ProfileTreeDetails::showExcludedChanged, this, &ProfilesPanel::buildProfileTree);
}

ProfilesPanel::~ProfilesPanel() = default;

void ProfilesPanel::loadIcons()
{
    m_phoneIcon = QIcon(QStringLiteral("gfx/phone.png"));
    m_targetIcon = QIcon(QStringLiteral("gfx/phoneTarget.png"));
}

const Brask::Device* ProfilesPanel::currentTarget()
{
    if (m_targetPending) {
        // Waits for the read; its arrival may resolve the target meanwhile.
        m_manager.getProfileDatabase();
        if (m_targetPending)
            resolveTargetFromProject();
    }
    return m_target.resolve();
}

void ProfilesPanel::clearTarget()
{
    m_target.reset();
    m_targetPending = false;
}

void ProfilesPanel::resolveTargetFromProject()
{
    Brask::Project* project = m_manager.getProject();
    if (!project)
        return;
    m_target.reset();
    m_targetPending = !m_manager.profilesRead();
    if (m_targetPending)
        return;
    const Brask::ProfileDatabase& database = m_manager.getProfileDatabase();
    const Brask::Device* device
        = database.findDevice(project->getProperty("targetVendor"), project->getProperty("targetDevice"));
    m_target = device ? Brask::DeviceRef(database, device) : Brask::DeviceRef();
}

void ProfilesPanel::databaseArrived()
{
    if (m_manager.profilesRead())
        m_manager.getProfileDatabase();
    if (m_targetPending)
        resolveTargetFromProject();
    buildProfileTree();
}

void ProfilesPanel::buildProfileTree()
{
    QTreeWidget* tree = m_ui.profileTree;
    tree->clear();
    m_showsLoading = !m_manager.profilesRead();
    if (m_showsLoading) {
        tree->setHeaderLabel(tr("Devices"));
        // Short: the column is narrow and the item sits behind the indentation.
        auto* item = new QTreeWidgetItem(QStringList(tr("Reading profiles...")));
        item->setToolTip(0, tr("Reading the device profiles..."));
        item->setFlags(Qt::NoItemFlags);
        item->setData(0, Qt::UserRole, QVariant::fromValue(quintptr(0)));
        tree->addTopLevelItem(item);
        return;
    }
    const Brask::ProfileDatabase& database = m_manager.getProfileDatabase();
    m_vendorIcons.clear();
    for (const auto& vendor : database.getVendors())
        m_vendorIcons.insert(fromStd(vendor->getName()), QIcon(fromStd(vendor->getIconPath())));
    tree->setHeaderLabel(tr("Devices"));

    const KVUtil::Vector<const Brask::Device*> devices = m_manager.getTargetDevices();
    m_treeGeneration = database.generation();
    QHash<const Brask::Vendor*, QTreeWidgetItem*> vendorItems;
    for (const Brask::Device* device : devices) {
        const Brask::Vendor* vendor = device->getVendor();
        if (vendorItems.contains(vendor))
            continue;
        const QString name = vendor ? fromStd(vendor->getName()) : QString();
        auto* item = new QTreeWidgetItem(QStringList(name));
        item->setIcon(0, m_vendorIcons.value(name));
        item->setData(0, Qt::UserRole, QVariant::fromValue(quintptr(0)));
        tree->addTopLevelItem(item);
        vendorItems.insert(vendor, item);
    }

    const Brask::Device* target = currentTarget();
    bool found = target == nullptr;
    for (const Brask::Device* device : devices) {
        QTreeWidgetItem* vendorItem = vendorItems.value(device->getVendor());
        auto* item = new QTreeWidgetItem(QStringList(fromStd(device->getName())));
        item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(device)));
        vendorItem->addChild(item);
        if (!found && device == target) {
            item->setIcon(0, m_targetIcon);
            vendorItem->setExpanded(true);
            found = true;
        } else {
            item->setIcon(0, m_phoneIcon);
        }
    }
    m_details->decorate(m_vendorIcons, m_phoneIcon);
    tree->sortItems(0, Qt::AscendingOrder);

    if (!found) {
        // The project keeps naming the device: reopened under other criteria
        // it may be found again.
        m_target.reset();
        m_dialogs.showMessage(
            UserDialogs::Kind::Warning, tr("Target phone unavailable"),
            tr("The selected target device no longer meets the selected criteria and has been removed."));
    }
}

void ProfilesPanel::criteriaChanged()
{
    QListWidget* list = m_ui.criteriaList;
    list->clear();
    if (const Brask::Project* project = m_manager.getProject()) {
        int index = 0;
        for (const auto& criterion : project->getCriteria()) {
            auto* item = new QListWidgetItem(fromStd(criterion->getDescription()), list);
            item->setData(Qt::UserRole, index++);
        }
    }
    buildProfileTree();
}

const Brask::Device* ProfilesPanel::deviceOf(const QTreeWidgetItem* item) const
{
    if (!item || !m_manager.profilesRead() || m_treeGeneration != m_manager.getProfileDatabase().generation())
        return nullptr;
    return reinterpret_cast<const Brask::Device*>(item->data(0, Qt::UserRole).value<quintptr>());
}

const Brask::Device* ProfilesPanel::selectedDevice() const
{
    const QList<QTreeWidgetItem*> selected = m_ui.profileTree->selectedItems();
    return selected.size() == 1 ? deviceOf(selected.first()) : nullptr;
}

QMenu* ProfilesPanel::menuForSelection() const
{
    if (m_ui.profileTree->topLevelItemCount() == 0)
        return nullptr;
    return selectedDevice() ? m_profileMenu.get() : nullptr;
}

void ProfilesPanel::profileMenuRequested(const QPoint& pos)
{
    // Empty space is not the selected device.
    if (!m_ui.profileTree->itemAt(pos))
        return;
    if (QMenu* menu = menuForSelection())
        menu->popup(m_ui.profileTree->viewport()->mapToGlobal(pos) + QPoint(0, 16));
}

void ProfilesPanel::viewProfile()
{
    const Brask::Device* device = selectedDevice();
    if (!device || !device->getVendor())
        return;
    const std::string path = m_manager.getRoot() + "/profiles/vendors/" + device->getVendor()->getName() + "/"
        + device->getName() + "/profile.h";
    const std::string command = m_manager.getCommandLine(path, 0, true);
    // No box for a missing or failing viewer, but the pane says what could
    // not be started, so the click is not simply lost.
    if (command.empty()) {
        emit message(tr("No viewer for device profiles is set: add the file type *profile in "
                        "Tools->Preferences to view %1.")
                         .arg(fromStd(path)));
        return;
    }
    std::string error;
    if (!m_starter.startDetached(command, &error))
        emit message(tr("The profile viewer could not be started: %1 (%2)")
                         .arg(fromStd(command), fromStd(error)));
}

void ProfilesPanel::useAsTarget()
{
    const Brask::Device* device = selectedDevice();
    if (!device)
        return;
    int width = device->getConstant(ScreenWidthConstant);
    int height = device->getConstant(ScreenHeightConstant);
    if (width == -1) {
        m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("Screen size unavailable"),
                              tr("The selected device lacks information about screen size - the emulator will "
                                 "default to 240x320"));
        width = 240;
        height = 320;
    } else if (height == -1) {
        // A height of -1 would reach the emulator as "-1".
        height = 320;
    }
    m_ui.lineScreenWidth->setText(QString::number(width));
    m_ui.lineScreenHeight->setText(QString::number(height));
    m_target = Brask::DeviceRef(m_manager.getProfileDatabase(), device);
    if (Brask::Project* project = m_manager.getProject()) {
        project->setProperty("targetDevice", device->getName());
        project->setProperty("targetVendor", device->getVendor() ? device->getVendor()->getName() : std::string());
        project->setProperty("screenWidth", std::to_string(width));
        project->setProperty("screenHeight", std::to_string(height));
    }
    buildProfileTree();
}

void ProfilesPanel::deleteCriterionClicked(bool)
{
    Brask::Project* project = m_manager.getProject();
    QListWidget* list = m_ui.criteriaList;
    for (QListWidgetItem* item : list->selectedItems()) {
        const int row = list->row(item);
        if (project && row >= 0 && row < static_cast<int>(project->getCriteria().size()))
            project->removeCriterion(row);
        delete list->takeItem(row);
    }
    // The list would select the next criterion, and a second click on Delete
    // would remove that one too.
    list->clearSelection();
    list->setCurrentItem(nullptr);
    buildProfileTree();
}

void ProfilesPanel::addCriterionClicked(bool)
{
    Brask::Project* project = m_manager.getProject();
    if (!project || !m_runner)
        return;
    std::unique_ptr<Brask::Criterion> criterion = runCriterionDialogs();
    if (!criterion)
        return;
    project->addCriterion(std::move(criterion));
    criteriaChanged();
}

std::unique_ptr<Brask::Criterion> ProfilesPanel::runCriterionDialogs()
{
    const Brask::ProfileDatabase& database = m_manager.getProfileDatabase();
    const QIcon icon = m_window ? m_window->windowIcon() : QIcon();

    CriteriaDialog chooser;
    chooser.setWindowIcon(icon);
    if (m_runner->run(chooser) != QDialog::Accepted)
        return nullptr;

    switch (chooser.kind()) {
    case CriteriaDialog::FeatureKind: {
        FeatureDialog dialog(database);
        dialog.setWindowIcon(icon);
        const auto& features = database.getFeatures();
        const int row = m_runner->run(dialog) == QDialog::Accepted ? dialog.currentRow() : -1;
        if (row < 0 || row >= static_cast<int>(features.size()))
            return nullptr;
        if (dialog.require())
            return std::make_unique<Brask::Has>(features[row].second);
        return std::make_unique<Brask::Lacks>(features[row].second);
    }
    case CriteriaDialog::VendorDeviceKind: {
        VendorDeviceDialog dialog(database);
        dialog.setWindowIcon(icon);
        return m_runner->run(dialog) == QDialog::Accepted ? dialog.makeCriterion() : nullptr;
    }
    case CriteriaDialog::ConstantKind: {
        ConstantDialog dialog(database, m_dialogs);
        dialog.setWindowIcon(icon);
        const auto& constants = database.getConstants();
        const int row = m_runner->run(dialog) == QDialog::Accepted ? dialog.currentRow() : -1;
        if (row < 0 || row >= static_cast<int>(constants.size()))
            return nullptr;
        return std::make_unique<Brask::Constant>(dialog.op(), constants[row].first, dialog.value(), true);
    }
    default:
        return nullptr;
    }
}
