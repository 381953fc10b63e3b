#pragma once
// The "Project files" tree and the project-file commands of the File menu:
// new, open, import and save; adding, removing and opening files; renaming
// the project through its root item.

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QString>

#include <memory>
#include <string>

class QMenu;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;
class UserDialogs;

namespace Brask {
class Folder;
class ProjectItem;
class ProjectManager;
class Sourcefile;
} // namespace Brask

class ProjectPanel : public QObject {
    Q_OBJECT
public:
    ProjectPanel(QWidget* window, QTreeWidget* tree, Brask::ProjectManager& manager, UserDialogs& dialogs,
                 QObject* parent = nullptr);
    ~ProjectPanel() override;

    // Loads the tree's icons from the gfx directory below the current
    // directory (the installation's bin at construction time).
    void loadIcons();

    // Loads or imports a project and adopts it; false (and the no-project
    // state) when no project results.
    bool openProjectFile(const QString& path);
    bool importProjectFile(const QString& path);
    // The Visual Studio import: a file from which nothing can be read is
    // refused with a box naming what it is, and the open project stays.
    bool importVisualStudioFile(const QString& path);
    // Writes the project, asking for a name first when it has none. False
    // when nothing was written (no project, dialog cancelled, write failed;
    // the last one is reported).
    bool saveProject();
    // Opens a project file, or imports a Visual C++ project (by its
    // extension), as File > Open and Import do once a file is chosen:
    // asking first whether to save unsaved changes of the open project.
    void openRecent(const QString& path);
    // Whether the open project differs from what was last read or written
    // (an imported project always does until it is saved).
    bool hasUnsavedChanges();
    // The same without taking the texts of fields still being edited.
    bool isModified() const;

    void rebuildProjectTree();

    // While a command runs the tree keeps showing the project but offers no
    // menus and no renaming: the running build reads the project.
    void setLocked(bool locked);

    // The context menu that the current selection calls for, or nullptr.
    QMenu* menuForSelection() const;
    QMenu* rootMenu() const { return m_rootMenu.get(); }
    QMenu* folderMenu() const { return m_folderMenu.get(); }
    QMenu* fileMenu() const { return m_fileMenu.get(); }

    const QString& projectFilePath() const { return m_projectFilePath; }
    const QString& projectDirectory() const { return m_projectDirectory; }
    const QString& itemDirectory() const { return m_itemDirectory; }
    const Brask::Sourcefile* currentFile() const { return m_currentFile; }

signals:
    // A save is about to write the project: fields still being edited must
    // hand over their texts now.
    void aboutToSave();
    // A line for the output pane.
    void message(const QString& text);
    // A project was created, opened or imported.
    void projectAdopted();
    // Opening or importing left no project.
    void projectLost();
    // A project file was opened, imported or written (for the recent list).
    void projectFileUsed(const QString& path);
    // A new project was created (the target device no longer applies).
    void projectCreated();
    void openFileRequested(const QString& path, int line);

public slots:
    void newProject();
    void open();
    void import();
    void importVisualStudio();
    void projectMenuRequested(const QPoint& pos);
    void newItemAdded();
    void existingItemAdded();
    void itemRemoved();
    void fileOpened();
    void itemRenamed();
    void projectItemDoubleClicked(QTreeWidgetItem* item, int column);
    void projectItemChanged(QTreeWidgetItem* item, int column);

private:
    void addItem(bool createFile);
    // Before the open project is replaced: asks whether to save unsaved
    // changes; false when the user cancels or the save does not happen.
    bool mayReplaceProject();
    void rememberSavedState();
    bool writeProjectTo(const QString& path);
    // The save dialog for a project file; a name typed without extension
    // gets ".vnp", which the Open dialog's filter shows.
    QString askProjectFileName(const QString& directory, const QString& filter);
    QString itemDialogDirectory() const;
    void reportDamage(const QString& path, bool willAskForName);
    void adoptFailed();
    // Shows the project the core has just imported from `path`.
    void adoptImported(const QString& path);
    void addChildren(QTreeWidgetItem* parentItem, const Brask::Folder& folder);
    void openFileItem(QTreeWidgetItem* item);
    QTreeWidgetItem* singleSelection() const;
    QIcon iconForFile(const Brask::Sourcefile& file) const;
    static Brask::ProjectItem* projectItem(const QTreeWidgetItem* item);

    QWidget* m_window;
    QTreeWidget* m_tree;
    Brask::ProjectManager& m_manager;
    UserDialogs& m_dialogs;
    std::unique_ptr<QMenu> m_rootMenu;
    std::unique_ptr<QMenu> m_folderMenu;
    std::unique_ptr<QMenu> m_fileMenu;
    QIcon m_projectIcon, m_folderIcon, m_cppIcon, m_headerIcon, m_cIcon, m_asmIcon, m_resourceIcon, m_blankIcon;
    // The folder that just received an item; the next rebuild opens it.
    QString m_revealFolder;
    QString m_projectFilePath;
    QString m_projectDirectory;
    QString m_itemDirectory;
    const Brask::Sourcefile* m_currentFile = nullptr;
    bool m_locked = false;
    // The project's file text when it was last read or written; empty for
    // an imported project that was never saved.
    std::string m_savedState;
};
