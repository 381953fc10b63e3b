#include "app/panels/ProjectPanel.h"

#include "app/dialogs/UserDialogs.h"
#include "core/ProjectManager.h"
#include "util/PathUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QSignalBlocker>
#include <QPixmap>
#include <QSet>
#include <QTreeWidget>

#include <functional>

#include <algorithm>

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

} // namespace

ProjectPanel::ProjectPanel(QWidget* window, QTreeWidget* tree, Brask::ProjectManager& manager,
                           UserDialogs& dialogs, QObject* parent)
    : QObject(parent)
    , m_window(window)
    , m_tree(tree)
    , m_manager(manager)
    , m_dialogs(dialogs)
    , m_rootMenu(std::make_unique<QMenu>())
    , m_folderMenu(std::make_unique<QMenu>())
    , m_fileMenu(std::make_unique<QMenu>())
{
    setObjectName(QStringLiteral("projectPanel"));
    m_rootMenu->setObjectName(QStringLiteral("rootMenu"));
    m_folderMenu->setObjectName(QStringLiteral("folderMenu"));
    m_fileMenu->setObjectName(QStringLiteral("fileMenu"));

    m_rootMenu->addAction(tr("Add new item..."), this, &ProjectPanel::newItemAdded);
    m_rootMenu->addAction(tr("Add existing item..."), this, &ProjectPanel::existingItemAdded);
    m_folderMenu->addAction(tr("Add new item..."), this, &ProjectPanel::newItemAdded);
    m_folderMenu->addAction(tr("Add existing item..."), this, &ProjectPanel::existingItemAdded);
    m_folderMenu->addAction(tr("Remove"), this, &ProjectPanel::itemRemoved);
    m_fileMenu->addAction(tr("Open"), this, &ProjectPanel::fileOpened);
    m_fileMenu->addAction(tr("Remove"), this, &ProjectPanel::itemRemoved);

    connect(m_tree, &QTreeWidget::itemChanged, this, &ProjectPanel::projectItemChanged);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &ProjectPanel::projectItemDoubleClicked);
    connect(m_tree, &QTreeWidget::customContextMenuRequested, this, &ProjectPanel::projectMenuRequested);
}

ProjectPanel::~ProjectPanel() = default;

void ProjectPanel::loadIcons()
{
    m_projectIcon = QIcon(QStringLiteral("gfx/ikon16x16.png"));
    m_folderIcon = QIcon(QStringLiteral("gfx/folder_closed.png"));
    m_cppIcon = QIcon(QStringLiteral("gfx/cpp.png"));
    m_headerIcon = QIcon(QStringLiteral("gfx/h.png"));
    m_cIcon = QIcon(QStringLiteral("gfx/c.png"));
    m_asmIcon = QIcon(QStringLiteral("gfx/s.png"));
    m_resourceIcon = QIcon(QStringLiteral("gfx/pacman.png"));
    QPixmap blank(16, 16);
    blank.fill(Qt::transparent);
    m_blankIcon = QIcon(blank);
}

Brask::ProjectItem* ProjectPanel::projectItem(const QTreeWidgetItem* item)
{
    if (!item)
        return nullptr;
    return reinterpret_cast<Brask::ProjectItem*>(item->data(0, Qt::UserRole).value<quintptr>());
}

QTreeWidgetItem* ProjectPanel::singleSelection() const
{
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    return selected.size() == 1 ? selected.first() : nullptr;
}

QIcon ProjectPanel::iconForFile(const Brask::Sourcefile& file) const
{
    const QString extension = fromStd(file.getExtension()).toLower();
    if (extension == QLatin1String("cpp") || extension == QLatin1String("cc") || extension == QLatin1String("cxx"))
        return m_cppIcon;
    if (extension == QLatin1String("c"))
        return m_cIcon;
    if (extension == QLatin1String("s"))
        return m_asmIcon;
    if (extension == QLatin1String("h"))
        return m_headerIcon;
    if (extension == QLatin1String("lst"))
        return m_resourceIcon;
    // An empty picture, not no icon: without one the name would start where
    // its siblings' icons do.
    return m_blankIcon;
}

namespace {

// A folder's place in the tree by the names leading to it, so a rebuild can
// open again what was open.
QString folderKey(const QTreeWidgetItem* item)
{
    QString key;
    for (const QTreeWidgetItem* up = item; up; up = up->parent())
        key.prepend(up->text(0) + QLatin1Char('/'));
    return key;
}

void collectExpanded(const QTreeWidgetItem* item, QSet<QString>& keys)
{
    if (item->isExpanded())
        keys.insert(folderKey(item));
    for (int i = 0; i < item->childCount(); ++i)
        collectExpanded(item->child(i), keys);
}

} // namespace

void ProjectPanel::rebuildProjectTree()
{
    // Building the items must not read back as the user renaming the project.
    const QSignalBlocker blocker(m_tree);
    // Adding or removing an item must not close the folders the user opened.
    QSet<QString> expanded;
    if (m_tree->topLevelItemCount() > 0 && m_manager.getProject()
        && projectItem(m_tree->topLevelItem(0)) == m_manager.getProject()->getRoot())
        collectExpanded(m_tree->topLevelItem(0), expanded);
    m_tree->clear();
    Brask::Project* project = m_manager.getProject();
    if (!project)
        return;
    auto* root = new QTreeWidgetItem(QStringList(fromStd(project->getName())));
    root->setIcon(0, m_projectIcon);
    root->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(project->getRoot())));
    root->setFlags(root->flags() | Qt::ItemIsEditable);
    m_tree->addTopLevelItem(root);
    root->setExpanded(true);
    addChildren(root, *project->getRoot());
    if (!m_revealFolder.isEmpty())
        expanded.insert(m_revealFolder);
    m_revealFolder.clear();
    std::function<void(QTreeWidgetItem*)> reopen = [&](QTreeWidgetItem* item) {
        for (int i = 0; i < item->childCount(); ++i) {
            QTreeWidgetItem* child = item->child(i);
            if (child->childCount() > 0 || expanded.contains(folderKey(child)))
                child->setExpanded(expanded.contains(folderKey(child)));
            reopen(child);
        }
    };
    reopen(root);
}

void ProjectPanel::addChildren(QTreeWidgetItem* parentItem, const Brask::Folder& folder)
{
    for (const auto& child : folder.getChildren()) {
        auto* item = new QTreeWidgetItem(QStringList(fromStd(child->getName())));
        item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(child.get())));
        if (child->getType() == Brask::ProjectItem::FileKind) {
            item->setIcon(0, iconForFile(static_cast<const Brask::Sourcefile&>(*child)));
        } else {
            item->setIcon(0, m_folderIcon);
            addChildren(item, static_cast<const Brask::Folder&>(*child));
        }
        parentItem->addChild(item);
    }
}

void ProjectPanel::setLocked(bool locked)
{
    m_locked = locked;
    m_tree->setEditTriggers(locked ? QAbstractItemView::NoEditTriggers
                                   : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
}

QMenu* ProjectPanel::menuForSelection() const
{
    if (m_locked || m_tree->topLevelItemCount() == 0)
        return nullptr;
    QTreeWidgetItem* item = singleSelection();
    if (!item)
        return nullptr;
    if (item == m_tree->topLevelItem(0))
        return m_rootMenu.get();
    const Brask::ProjectItem* target = projectItem(item);
    if (!target)
        return nullptr;
    return target->getType() == Brask::ProjectItem::FileKind ? m_fileMenu.get() : m_folderMenu.get();
}

void ProjectPanel::projectMenuRequested(const QPoint& pos)
{
    // Empty space is not the selected item.
    if (!m_tree->itemAt(pos))
        return;
    if (QMenu* menu = menuForSelection())
        menu->popup(m_tree->viewport()->mapToGlobal(pos) + QPoint(0, 16));
}

void ProjectPanel::newItemAdded()
{
    addItem(true);
}

void ProjectPanel::existingItemAdded()
{
    addItem(false);
}

void ProjectPanel::addItem(bool createFile)
{
    Brask::Project* project = m_manager.getProject();
    QTreeWidgetItem* selected = singleSelection();
    Brask::ProjectItem* target = projectItem(selected);
    if (m_locked || !project || !target || target->getType() != Brask::ProjectItem::FolderKind)
        return;
    auto* folder = static_cast<Brask::Folder*>(target);

    if (!m_itemDirectory.isEmpty())
        QDir::setCurrent(m_itemDirectory);
    // The dialog is told where to start: left to itself it opens in the last
    // folder it visited, and a bare name typed there lands in that folder.
    const QString start = itemDialogDirectory();
    const QString chosen = createFile
        ? m_dialogs.getSaveFileName(m_window, tr("Add new item"), start, QString())
        : m_dialogs.getOpenFileName(m_window, tr("Add existing item"), start,
                                    tr("Varnel files (*.c;*.cpp;*.h;*.lst);;All Files (*)"));
    if (chosen.isEmpty())
        return;
    const QFileInfo info(QDir(start).absoluteFilePath(chosen));
    const std::string relative = Brask::relativePath(project->getDirectory(), info.absoluteFilePath().toStdString());

    if (createFile) {
        QFile file(info.absoluteFilePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            // Adding a file that does not exist would only fail the next build.
            m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("VarBuild"),
                                  tr("The file %1 could not be created: %2")
                                      .arg(QDir::toNativeSeparators(info.absoluteFilePath()), file.errorString()));
            return;
        }
    }

    new Brask::Sourcefile(relative, folder); // the folder takes ownership
    if (selected->parent())
        m_revealFolder = folderKey(selected);
    rebuildProjectTree();
    m_itemDirectory = info.absolutePath();
}

void ProjectPanel::itemRemoved()
{
    if (m_locked || !m_manager.getProject())
        return;
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    // An item whose ancestor is removed too goes with that ancestor.
    QList<QTreeWidgetItem*> removable;
    for (QTreeWidgetItem* item : selected) {
        bool coveredByAncestor = false;
        for (QTreeWidgetItem* up = item->parent(); up; up = up->parent())
            coveredByAncestor = coveredByAncestor || selected.contains(up);
        if (!coveredByAncestor && item->parent())
            removable.append(item);
    }
    for (QTreeWidgetItem* item : removable) {
        Brask::ProjectItem* target = projectItem(item);
        Brask::Folder* folder = target ? target->getParent() : nullptr;
        if (!folder)
            continue;
        if (m_currentFile == target)
            m_currentFile = nullptr;
        // A removed folder may hold the file last opened.
        for (const Brask::ProjectItem* up = m_currentFile; up; up = up->getParent())
            if (up == target)
                m_currentFile = nullptr;
        folder->removeChild(folder->indexOfChild(target));
    }
    rebuildProjectTree();
}

void ProjectPanel::fileOpened()
{
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    if (!selected.isEmpty())
        openFileItem(selected.first());
}

void ProjectPanel::projectItemDoubleClicked(QTreeWidgetItem*, int)
{
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    if (!selected.isEmpty())
        openFileItem(selected.first());
}

void ProjectPanel::openFileItem(QTreeWidgetItem* item)
{
    Brask::Project* project = m_manager.getProject();
    const Brask::ProjectItem* target = projectItem(item);
    if (!project || !target || target->getType() != Brask::ProjectItem::FileKind)
        return;
    m_currentFile = static_cast<const Brask::Sourcefile*>(target);
    // Imported projects store their paths with backslashes.
    emit openFileRequested(fromStd(project->getDirectory() + Brask::toSlashes(m_currentFile->getPath())), 0);
}

void ProjectPanel::itemRenamed()
{
}

void ProjectPanel::projectItemChanged(QTreeWidgetItem* item, int)
{
    Brask::Project* project = m_manager.getProject();
    if (project && item && item == m_tree->topLevelItem(0))
        project->setName(item->text(0).toStdString());
}

bool ProjectPanel::hasUnsavedChanges()
{
    const Brask::Project* project = m_manager.getProject();
    if (!project)
        return false;
    // Fields still being edited hand over their texts first.
    emit aboutToSave();
    return isModified();
}

bool ProjectPanel::isModified() const
{
    const Brask::Project* project = m_manager.getProject();
    return project && (m_savedState.empty() || project->toXML() != m_savedState);
}

void ProjectPanel::rememberSavedState()
{
    const Brask::Project* project = m_manager.getProject();
    m_savedState = project ? project->toXML() : std::string();
}

bool ProjectPanel::mayReplaceProject()
{
    if (!hasUnsavedChanges())
        return true;
    const QString text = tr("The project \"%1\" has changes that are not saved. Save them first?")
                             .arg(fromStd(m_manager.getProject()->getName()));
    switch (m_dialogs.askToSave(tr("VarBuild"), text)) {
    case UserDialogs::SaveAnswer::Save:
        return saveProject();
    case UserDialogs::SaveAnswer::Discard:
        return true;
    case UserDialogs::SaveAnswer::Cancel:
        break;
    }
    return false;
}

void ProjectPanel::openRecent(const QString& path)
{
    // Gone since the menu was filled: the open project stays.
    if (!QFileInfo::exists(path)) {
        m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("VarBuild"),
                              tr("The project file %1 no longer exists.").arg(QDir::toNativeSeparators(path)));
        return;
    }
    if (!mayReplaceProject())
        return;
    // An imported project comes back through the Visual Studio import, which
    // reads every version that could have been imported.
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QLatin1String("vcproj"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("vcxproj"), Qt::CaseInsensitive) == 0) {
        importVisualStudioFile(path);
        return;
    }
    openProjectFile(path);
    m_projectDirectory = QFileInfo(path).absolutePath();
    m_itemDirectory = m_projectDirectory;
}

void ProjectPanel::newProject()
{
    if (!mayReplaceProject())
        return;
    if (!m_projectDirectory.isEmpty())
        QDir::setCurrent(m_projectDirectory);
    const QString chosen = askProjectFileName(m_projectDirectory, tr("Varnel projects (*.vnp)"));
    if (chosen.isEmpty())
        return;
    const QFileInfo info(chosen);
    const QString directory = info.absolutePath();
    QDir::setCurrent(directory);
    m_manager.createProject(directory.toStdString());
    m_manager.getProject()->setName(info.baseName().toStdString());
    m_projectFilePath = directory + QLatin1Char('/') + info.fileName();
    m_projectDirectory = directory;
    m_itemDirectory = directory;
    m_currentFile = nullptr;
    writeProjectTo(m_projectFilePath);
    m_tree->setHeaderLabel(fromStd(m_manager.getProject()->getName()));
    emit projectCreated();
    emit projectAdopted();
    rememberSavedState();
}

void ProjectPanel::open()
{
    if (!mayReplaceProject())
        return;
    if (!m_projectDirectory.isEmpty())
        QDir::setCurrent(m_projectDirectory);
    const QString chosen = m_dialogs.getOpenFileName(m_window, tr("Open Project"), m_projectDirectory,
                                                     tr("Varnel projects (*.vnp);;All Files (*)"));
    if (chosen.isEmpty())
        return;
    openProjectFile(chosen);
    m_projectDirectory = QFileInfo(chosen).absolutePath();
    m_itemDirectory = m_projectDirectory;
}

bool ProjectPanel::openProjectFile(const QString& path)
{
    m_currentFile = nullptr;
    const bool loaded = m_manager.loadProject(path.toStdString()) && m_manager.getProject();
    const QFileInfo info(path);
    QDir::setCurrent(info.absolutePath());
    m_projectDirectory = info.absolutePath();
    if (!loaded) {
        adoptFailed();
        return false;
    }
    m_tree->setHeaderLabel(fromStd(m_manager.getProject()->getName()));
    rebuildProjectTree();
    m_projectFilePath = path;
    emit projectFileUsed(path);
    if (m_manager.lastLoadWasDamaged()) {
        // Saving over the file would lose the part that could not be read.
        m_projectFilePath.clear();
        reportDamage(path, true);
    }
    emit projectAdopted();
    // What the panels made of it on adoption is the state as read.
    rememberSavedState();
    return true;
}

void ProjectPanel::import()
{
    if (!mayReplaceProject())
        return;
    const QString chosen = m_dialogs.getOpenFileName(m_window, tr("Import Project"), QString(),
                                                     tr("Visual C++ projects (*.vcproj);;All Files (*)"));
    if (!chosen.isEmpty())
        importProjectFile(chosen);
}

void ProjectPanel::importVisualStudio()
{
    if (!mayReplaceProject())
        return;
    const QString chosen
        = m_dialogs.getOpenFileName(m_window, tr("Import Visual Studio Project"), QString(),
                                    tr("Visual Studio projects (*.vcxproj *.vcproj);;All Files (*)"));
    if (!chosen.isEmpty())
        importVisualStudioFile(chosen);
}

bool ProjectPanel::importVisualStudioFile(const QString& path)
{
    Brask::VisualStudioImport report;
    if (!m_manager.importVisualStudio(path.toStdString(), &report)) {
        m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("Import Visual Studio Project"),
                              fromStd(report.refusal));
        return false;
    }
    m_currentFile = nullptr;
    emit message(tr("Imported %1: %2").arg(QDir::toNativeSeparators(path), fromStd(report.format)));
    for (const std::string& note : report.notes)
        emit message(fromStd(note));
    adoptImported(path);
    return true;
}

bool ProjectPanel::importProjectFile(const QString& path)
{
    m_currentFile = nullptr;
    const bool imported = m_manager.importVcproj(path.toStdString()) && m_manager.getProject();
    if (!imported) {
        adoptFailed();
        return false;
    }
    adoptImported(path);
    return true;
}

void ProjectPanel::adoptImported(const QString& path)
{
    m_tree->setHeaderLabel(fromStd(m_manager.getProject()->getName()));
    rebuildProjectTree();
    QDir::setCurrent(QFileInfo(path).absolutePath());
    m_projectFilePath.clear();
    // New items of the imported project belong beside it, not in the
    // directory of the project that was open before.
    m_itemDirectory = QFileInfo(path).absolutePath();
    m_savedState.clear();
    emit projectFileUsed(path);
    if (m_manager.lastLoadWasDamaged())
        reportDamage(path, false);
    emit projectAdopted();
    rebuildProjectTree();
}

void ProjectPanel::adoptFailed()
{
    // The core has discarded the previous project: nothing may act on it,
    // and nothing may still name it.
    m_projectFilePath.clear();
    m_tree->setHeaderLabel(QString());
    rebuildProjectTree();
    emit projectLost();
}

void ProjectPanel::reportDamage(const QString& path, bool willAskForName)
{
    QString text = tr("Only part of the project file %1 could be read: it is damaged.")
                       .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    if (willAskForName)
        text += QLatin1Char(' ') + tr("The next save asks for a file name, so the damaged file is not overwritten.");
    m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("VarBuild"), text);
}

bool ProjectPanel::saveProject()
{
    if (!m_manager.getProject())
        return false;
    emit aboutToSave();
    if (m_projectFilePath.isEmpty()) {
        // After an import the current directory is the imported project's.
        const QString chosen = askProjectFileName(QDir::currentPath(), QString());
        if (chosen.isEmpty())
            return false;
        m_projectFilePath = chosen;
    }
    return writeProjectTo(m_projectFilePath);
}

QString ProjectPanel::askProjectFileName(const QString& directory, const QString& filter)
{
    QString chosen = m_dialogs.getSaveFileName(m_window, tr("Save project"), directory, filter);
    if (!chosen.isEmpty() && QFileInfo(chosen).suffix().isEmpty())
        chosen += QStringLiteral(".vnp");
    return chosen;
}

QString ProjectPanel::itemDialogDirectory() const
{
    if (!m_itemDirectory.isEmpty())
        return m_itemDirectory;
    if (const Brask::Project* project = m_manager.getProject())
        return QDir::cleanPath(fromStd(project->getDirectory()));
    return QDir::currentPath();
}

bool ProjectPanel::writeProjectTo(const QString& path)
{
    std::string error;
    if (m_manager.writeProject(path.toStdString(), &error)) {
        rememberSavedState();
        emit projectFileUsed(path);
        return true;
    }
    m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("VarBuild"),
                          tr("The project could not be saved to %1: %2")
                              .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()), fromStd(error)));
    return false;
}
