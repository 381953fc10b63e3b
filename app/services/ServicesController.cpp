#include "app/services/ServicesController.h"

#include "app/dialogs/DialogRunner.h"
#include "app/services/FeedbackDialog.h"
#include "app/services/FormPoster.h"
#include "app/services/InviteDialog.h"
#include "app/services/NetworkCall.h"
#include "app/panels/ProfilesPanel.h"
#include "app/dialogs/UserDialogs.h"
#include "app/dialogs/WindowBusy.h"
#include "core/ProjectManager.h"
#include "core/update/ReleaseCheck.h"
#include "core/update/UpdateManager.h"
#include "util/Diagnostics.h"

#include <QProgressDialog>
#include <QTimer>
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
    connect(m_poster.get(), &FormPoster::finished, this, [this](int kind, bool error, int id) {
        if (QProgressDialog* dialog = m_postProgress.take(id))
            dialog->deleteLater();
        httpFinished(kind, error);
    });
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
    // Cancel in either check's progress dialog skips what is left; the
    // window then opens as usual.
    if (m_manager.getUpdateManager().profileUpdateIsAvailable(true) != Brask::UpdateManager::Cancelled)
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
    // Once the user has asked to quit, no box holds the program open.
    if (m_busy.quitPending()) {
        Brask::diag("%s\n", text.c_str());
        return;
    }
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
    // Cancelled, or given up because the window is closing: nothing to say.
    if (updates.wasCancelled() || m_busy.quitPending())
        return;
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
    startPost(FormPoster::Feedback, QByteArrayLiteral("/bugs/"), dialog.body(), tr("Sending your feedback..."));
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
    startPost(FormPoster::Invite, QByteArrayLiteral("/invites/"), dialog.body(), tr("Sending your invitation..."));
    Brask::diag("Invite sent!\n");
}

void ServicesController::startPost(int kind, const QByteArray& path, const QByteArray& body, const QString& task)
{
    const int id = m_poster->post(static_cast<FormPoster::Kind>(kind), path, body);
    // The post runs beside the window, which stays usable; a slow one gets a
    // small dialog of its own whose Cancel gives it up without a report.
    QProgressDialog* dialog = makeNetworkProgressDialog(task, m_window);
    dialog->setWindowModality(Qt::NonModal);
    m_postProgress.insert(id, dialog);
    connect(dialog, &QProgressDialog::canceled, this, [this, id] {
        if (QProgressDialog* cancelled = m_postProgress.take(id)) {
            m_poster->cancel(id);
            Brask::diag("The post was cancelled\n");
            cancelled->deleteLater();
        }
    });
    QTimer::singleShot(NetworkProgressDelayMilliseconds, dialog, [dialog] { dialog->show(); });
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
