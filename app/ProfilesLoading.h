#pragma once
// The window's side of reading the profile database in the background: the
// read starts with the window, the profile tree fills when it arrives, and
// what needs the database before then (a build's packaging, the package
// map, the criterion dialogs, the target device) waits with the window
// alive, saying what it waits for.

#include <QObject>

#include <functional>

namespace Brask {
class ProjectManager;
}
class ProfilesPanel;
class QMainWindow;
class WindowBusy;

class ProfilesLoading : public QObject {
    Q_OBJECT
public:
    // Starts the read when the event loop first runs. A definitions.txt
    // that cannot be read ends the process here, before the window shows.
    // The references must outlive this object.
    ProfilesLoading(QMainWindow* window, Brask::ProjectManager& manager, WindowBusy& busy, ProfilesPanel& profiles);
    // Ends a read under way: nothing calls back afterwards.
    ~ProfilesLoading() override;

signals:
    // The profile tree shows the database just read.
    void arrived();

private:
    static QString readingText();
    void start();
    void onArrived();
    void wait(const std::function<bool()>& finished);

    QMainWindow* m_window;
    Brask::ProjectManager& m_manager;
    WindowBusy& m_busy;
    ProfilesPanel& m_profiles;
};
