#pragma once
// The main window: owns the core's ProjectManager and the executor that runs
// its commands with their output in the pane (WindowExecutor), hears when
// the core replaces the project (ProjectManagerListener), and wires the
// menus, toolbar and panels.

#include "app/dialogs/WindowBusy.h"
#include "core/ProjectManagerListener.h"

#include <QMainWindow>

#include <memory>

namespace Ui {
class BuildtoolClass;
}
namespace Brask {
class PhoneChooser;
class ProjectManager;
}
class BuildController;
class DialogRunner;
class FormPoster;
class OutputPanel;
class PaneJobs;
class PhoneController;
class DeliveryController;
class ProfilesLoading;
class ProfilesPanel;
class ProjectPanel;
class RecentProjects;
class ServicesController;
class SettingsPanel;
class QShortcut;
class QTreeWidgetItem;
class ToolStarter;
class UserDialogs;
class WindowExecutor;

class Buildtool : public QMainWindow, public Brask::ProjectManagerListener, public WindowBusy {
    Q_OBJECT
public:
    // `root` is the installation root; `projectPath` an absolute project file
    // or empty. The current directory must be ROOT/bin (icons load from it).
    // `dialogs` and `starter` default to the real ones; tests pass fakes,
    // which must outlive the window.
    Buildtool(const QString& root, const QString& projectPath, UserDialogs* dialogs = nullptr,
              ToolStarter* starter = nullptr, QWidget* parent = nullptr);
    ~Buildtool() override;

    Brask::ProjectManager& projectManager() { return *m_manager; }
    ProjectPanel* projectPanel() const { return m_projectPanel; }
    OutputPanel* outputPanel() const { return m_outputPanel; }
    ProfilesPanel* profilesPanel() const { return m_profilesPanel; }
    SettingsPanel* settingsPanel() const { return m_settingsPanel; }
    // Replaces the runner of the window's own dialogs (criteria,
    // preferences); tests pass one that drives them without exec(). It must
    // outlive the window.
    void setDialogRunner(DialogRunner* runner);
    // Replaces how "Select phone" lets the user choose (the device dialog
    // and the wait for the search); nullptr restores the window's own. It
    // must outlive the window.
    void setPhoneChooser(Brask::PhoneChooser* chooser);
    // WindowBusy
    bool isBusy() const override { return m_busyDepth > 0; }
    void beginBusy() override;
    void endBusy() override;
    bool quitPending() const override { return m_quitPending; }
    void beginStoppable() override;
    bool endStoppable() override;

    // Runs the core's commands in the output pane.
    WindowExecutor* executor() const { return m_executor.get(); }

    // ProjectManagerListener
    void settingsChanged() override;
    void criteriaChanged() override;

    // The Services menu's flows and the Bluetooth menu's.
    ServicesController* services() const { return m_services.get(); }
    PhoneController* phone() const { return m_phone.get(); }
    DeliveryController* delivery() const { return m_delivery; }
    // Carries the feedback and invitation posts.
    FormPoster* formPoster() const;

    void setProjectControlsEnabled(bool enabled);
    // Opens `file` at `line` with the tool configured for its type.
    void openWithTool(const QString& file, int line);
    bool startTool(const std::string& commandLine);

signals:
    // doQuit() has saved the project; the process entry ends the event loop
    // with status 0 on it.
    void quitting();

public slots:
    void projectItemChanged(QTreeWidgetItem* item, int column);
    // Asks the update server for the latest release and says what it means;
    // `silent` keeps the "no news" boxes back.
    void updateCheck(bool silent);
    void buildAndRun();
    void newProject();
    void open();
    // File > Recent Projects: `path` as if chosen in File > Open (a Visual
    // C++ project is imported).
    void openRecent(const QString& path);
    void import();
    // File > Import Visual Studio Project...: .vcxproj and .vcproj of
    // Versions 7.10 to 9.00.
    void importVisualStudio();
    void saveProject();
    void doQuit();
    void doPreferences();
    void doInvite();
    void doFeedback();
    void updateProfileDatabase();
    void doUpdateCheck();
    void showHelp();
    void showAbout();
    void noProject();
    void build(bool showCompleteMessage, bool* success);
    void build(bool showCompleteMessage) { build(showCompleteMessage, nullptr); }
    void build() { build(true, nullptr); }
    // Build > Build Changed (Ctrl+F7): like build(), running only the steps
    // that are not up to date; the counts go to the status bar.
    void buildChanged();
    void phoneSend();
    void phoneSelect();
    void outputSelectionChanged();
    // "Stop build": ends the running tool's process tree; the build runs
    // nothing more and ends with the stopped line. A send ends the same way.
    void stopBuild();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void connectActions();
    void updateSettingsFromProject();
    void applyControlStates();
    // "NAME – VarBuild", marked while the project has unsaved changes.
    void updateTitle();

    std::unique_ptr<Ui::BuildtoolClass> m_ui;
    std::unique_ptr<UserDialogs> m_ownDialogs;
    std::unique_ptr<ToolStarter> m_ownStarter;
    std::unique_ptr<DialogRunner> m_ownRunner;
    UserDialogs* m_dialogs;
    ToolStarter* m_starter;
    DialogRunner* m_runner;
    QString m_root;
    // Before the core, which is built with it, and gone after it.
    std::unique_ptr<WindowExecutor> m_executor;
    std::unique_ptr<Brask::ProjectManager> m_manager;
    // After the manager, so it goes first: it ends the database read.
    std::unique_ptr<ProfilesLoading> m_profilesLoading;
    ProjectPanel* m_projectPanel = nullptr;
    RecentProjects* m_recent = nullptr;
    OutputPanel* m_outputPanel = nullptr;
    PaneJobs* m_paneJobs = nullptr;
    BuildController* m_builds = nullptr;
    ProfilesPanel* m_profilesPanel = nullptr;
    QAction* m_actionBuildChanged = nullptr;
    QAction* m_actionStop = nullptr;
    QShortcut* m_stopShortcut = nullptr;
    SettingsPanel* m_settingsPanel = nullptr;
    bool m_hasProject = false;
    int m_busyDepth = 0;
    bool m_quitPending = false;
    std::unique_ptr<PhoneController> m_phone;
    DeliveryController* m_delivery = nullptr;
    QAction* m_actionDeliver = nullptr;
    // Last, so it goes first: its pending posts end before the window does.
    std::unique_ptr<ServicesController> m_services;
};
