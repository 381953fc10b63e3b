#pragma once
// The Services menu's flows: the release check, the profile database
// update, feedback and invitations. Talks to the user for the update
// manager (UpdateInterface) and runs its network exchanges off the GUI
// thread.

#include "core/update/UpdateInterface.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

namespace Brask {
class ProjectManager;
}
class DialogRunner;
class FormPoster;
class ProfilesPanel;
class QProgressDialog;
class QWidget;
class UserDialogs;
class WindowBusy;

class ServicesController : public QObject, public Brask::UpdateInterface {
    Q_OBJECT
public:
    // Everything given must outlive this object; `window` parents the
    // dialogs and the progress shown.
    ServicesController(QWidget* window, Brask::ProjectManager& manager, UserDialogs& dialogs, WindowBusy& busy,
                       ProfilesPanel& profiles, DialogRunner* runner);
    // Pending posts are abandoned first; the update manager stops calling.
    ~ServicesController() override;

    void setDialogRunner(DialogRunner* runner) { m_runner = runner; }
    FormPoster* formPoster() const { return m_poster.get(); }

    // With automatic updates: the silent profile update and release check
    // the window runs before it builds the profile tree. Their progress
    // dialog, centred on the screen, can skip the rest of them.
    void runStartupChecks();
    // Gives up the network exchange under way, if any (the window closes).
    void cancelNetworkCall();

    // UpdateInterface: an information box "VarBuild"; network exchanges run
    // off the GUI thread while the window keeps painting (and is busy).
    void showMessage(const KVUtil::String& text) override;
    void runNetworkCall(const std::function<void()>& call, Brask::HttpProgress* progress) override;

public slots:
    // Asks the update server for the latest release and says what it means;
    // `silent` keeps the "no news" boxes back.
    void updateCheck(bool silent);
    void doUpdateCheck();
    void updateProfileDatabase();
    void doFeedback();
    void doInvite();
    // A feedback or invitation post has ended (`kind` a FormPoster::Kind).
    void httpFinished(int kind, bool error);

private:
    // Posts `body` and gives it a progress dialog with Cancel.
    void startPost(int kind, const QByteArray& path, const QByteArray& body, const QString& task);

    QWidget* m_window;
    Brask::ProjectManager& m_manager;
    UserDialogs& m_dialogs;
    WindowBusy& m_busy;
    ProfilesPanel& m_profiles;
    DialogRunner* m_runner;
    // The progress of the network exchange under way, if it has one.
    Brask::HttpProgress* m_networkProgress = nullptr;
    std::unique_ptr<FormPoster> m_poster;
    // The progress dialog of each post under way, by the post's id.
    QHash<int, QPointer<QProgressDialog>> m_postProgress;
};
