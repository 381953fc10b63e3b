#pragma once
// Build and Build Changed as the window runs them: save, clear the pane,
// build with Stop available, then the summary in the status bar and the
// boxes ("Build error", "Build complete!").

#include <QObject>

namespace Brask {
class Project;
class ProjectManager;
}
class OutputPanel;
class ProjectPanel;
class QLabel;
class QString;
class ToolStarter;
class QWidget;
class UserDialogs;
class WindowBusy;
class WindowExecutor;

class BuildController : public QObject {
    Q_OBJECT
public:
    // Everything given must outlive this object. `pane` takes the focus while
    // the build runs; `summary` gets the build's counts and time.
    BuildController(Brask::ProjectManager& manager, WindowExecutor& executor, WindowBusy& busy,
                    ProjectPanel& project, OutputPanel& output, QWidget* pane, QLabel* summary,
                    UserDialogs& dialogs, QObject* parent = nullptr);

    // True when the build ran and every tool succeeded; false when the window
    // was busy, the build was stopped, the window is closing or a tool failed.
    bool run(bool changed, bool showCompleteMessage);
    // Build and Run's second half: the kit's emulator (ROOT/bin/Ombra) on the
    // built program at the project's screen size; a failure is said in the pane.
    void startEmulator(const QString& root, Brask::Project& project, ToolStarter& starter);

private:
    void showSummary(bool changed, bool stopped, double seconds);

    Brask::ProjectManager& m_manager;
    WindowExecutor& m_executor;
    WindowBusy& m_busy;
    ProjectPanel& m_project;
    OutputPanel& m_output;
    QWidget* m_pane;
    QLabel* m_summary;
    UserDialogs& m_dialogs;
};
