#include "ServicesController.h"

#include "DialogRunner.h"
#include "FeedbackDialog.h"
#include "FormPoster.h"
#include "InviteDialog.h"
#include "NetworkCall.h"
#include "ProfilesPanel.h"
#include "UserDialogs.h"
#include "WindowBusy.h"
#include "core/ProjectManager.h"
#include "core/ReleaseCheck.h"
#include "core/UpdateManager.h"
#include "util/Diagnostics.h"

#include <QWidget>

#include <utility>

ServicesController::ServicesController(QWidget* window, Brask::ProjectManager& manager, UserDialogs& dialogs,
                                       WindowBusy& busy, ProfilesPanel& profiles, DialogRunner* runner)
    : QObject(nullptr)
    , m_window(window)
    , m_manager(manager)
    , m_dialogs(dialogs)
    , m_busy(busy)
    , m_profiles(profiles)
    , m_runner(runner)
    , m_poster(std::make_unique<FormPoster>())
{
    // The update checks talk to the user through the window.
    m_manager.getUpdateManager().setInterface(this);
    connect(m_poster.get(), &FormPoster::finished, this, &ServicesController::httpFinished);
}

ServicesController::~ServicesController()
{
    m_poster.reset();
    m_manager.getUpdateManager().setInterface(nullptr);
}

void ServicesController::runStartupChecks()
{
    // Before the tree is built, so it shows the database they may have
    // installed.
    if (!m_manager.getConfig().autoUpdates)
        return;
    m_manager.getUpdateManager().profileUpdateIsAvailable(true);
    updateCheck(true);
    m_manager.reloadProfiles();
}

void ServicesController::cancelNetworkCall()
{
    if (m_networkProgress)
        m_networkProgress->cancelled = true;
}

void ServicesController::showMessage(const KVUtil::String& text)
{
    m_dialogs.showMessage(UserDialogs::Kind::Information, QStringLiteral("VarBuild"), QString::fromStdString(text));
}

void ServicesController::runNetworkCall(const std::function<void()>& call, Brask::HttpProgress* progress)
{
    // Busy: nothing may start a build or change the project or the profile
    // database while the exchange runs and the window keeps taking events.
    m_busy.beginBusy();
    Brask::HttpProgress* outer = std::exchange(m_networkProgress, progress);
    runNetworkCallOffGuiThread(call, progress, m_window);
    m_networkProgress = outer;
    m_busy.endBusy();
}

void ServicesController::updateCheck(bool silent)
{
    Brask::UpdateManager& updates = m_manager.getUpdateManager();
    KVUtil::String answer;
    const int fetched = updates.fetchLatestRelease(answer);
    const Brask::ReleaseVerdict verdict = Brask::checkRelease(fetched, answer, updates.packageRevision(), silent);
    if (verdict.printServerVersion)
        Brask::diag("serverVersion: %d\n", verdict.serverVersion);
    if (verdict.show)
        m_dialogs.showMessage(verdict.kind == Brask::ReleaseVerdict::Warning ? UserDialogs::Kind::Warning
                                                                               : UserDialogs::Kind::Information,
                              QString::fromStdString(verdict.caption), QString::fromStdString(verdict.text));
}

void ServicesController::doUpdateCheck()
{
    if (!m_busy.isBusy())
        updateCheck(false);
}

void ServicesController::updateProfileDatabase()
{
    if (m_busy.isBusy())
        return;
    // The reload below replaces every Device: the target and the tree's
    // device items must not outlive it.
    m_profiles.clearTarget();
    m_manager.getUpdateManager().profileUpdateIsAvailable(false);
    m_manager.reloadProfiles();
    m_profiles.buildProfileTree();
}

void ServicesController::doFeedback()
{
    if (m_busy.isBusy())
        return;
    FeedbackDialog dialog;
    dialog.setWindowIcon(m_window->windowIcon());
    if (m_runner->run(dialog) != QDialog::Accepted)
        return;
    m_poster->post(FormPoster::Feedback, QByteArrayLiteral("/bugs/"), dialog.body());
    Brask::diag("Feedback sent!\n");
}

void ServicesController::doInvite()
{
    if (m_busy.isBusy())
        return;
    InviteDialog dialog;
    dialog.setWindowIcon(m_window->windowIcon());
    if (m_runner->run(dialog) != QDialog::Accepted)
        return;
    m_poster->post(FormPoster::Invite, QByteArrayLiteral("/invites/"), dialog.body());
    Brask::diag("Invite sent!\n");
}

void ServicesController::httpFinished(int kind, bool error)
{
    Brask::diag("An http request is DONE: %d\n", error ? 1 : 0);
    if (!error)
        return;
    if (kind == FormPoster::Invite)
        m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("Your invite could not be sent"),
                              tr("Something went wrong with sending your invite. Check network cables, firewalls "
                                 "and that sort of stuff."));
    else if (kind == FormPoster::Feedback)
        m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("Your feedback could not be sent"),
                              tr("Something went wrong with sending your feedback. Check network cables, firewalls "
                                 "and that sort of stuff."));
}
