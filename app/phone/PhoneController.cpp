#include "app/phone/PhoneController.h"

#include "app/panels/ProfilesPanel.h"
#include "app/phone/QtPhoneChooser.h"
#include "app/dialogs/UserDialogs.h"
#include "app/dialogs/WindowBusy.h"
#include "core/ProjectManager.h"
#include "core/CommandExecutor.h"
#include "core/profiles/Device.h"

#include <QWidget>

PhoneController::PhoneController(QWidget* window, Brask::ProjectManager& manager, UserDialogs& dialogs,
                                 WindowBusy& busy, ProfilesPanel& profiles, DialogRunner* runner)
    : QObject(nullptr)
    , m_manager(manager)
    , m_dialogs(dialogs)
    , m_busy(busy)
    , m_profiles(profiles)
    // Closing the window during the phone search gives up waiting for it.
    , m_ownChooser(std::make_unique<QtPhoneChooser>(window, runner, [&busy] { return busy.quitPending(); }))
    , m_chooser(m_ownChooser.get())
{
}

PhoneController::~PhoneController() = default;

void PhoneController::setDialogRunner(DialogRunner* runner)
{
    m_ownChooser->setDialogRunner(runner);
}

void PhoneController::setPhoneChooser(Brask::PhoneChooser* chooser)
{
    m_chooser = chooser ? chooser : m_ownChooser.get();
}

void PhoneController::phoneSelect()
{
    if (m_busy.isBusy())
        return;
    // The search lets events through (the busy indicator): nothing else may
    // start meanwhile.
    m_busy.beginBusy();
    const int result = m_manager.selectPhone(*m_chooser);
    m_busy.endBusy();
    // A cancelled choice needs no box, nor does one the closing window ended,
    // nor one whose reason the device dialog has already given.
    const bool explained = m_chooser == m_ownChooser.get() && m_ownChooser->failureExplained();
    if (result == 0 && !m_busy.quitPending() && !explained)
        m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("Bluetooth"), tr("Failed selecting phone"));
}

void PhoneController::phoneSend(bool hasProject)
{
    if (m_busy.isBusy() || !hasProject || !m_manager.getProject())
        return;
    std::string runtime = "profiles\\runtimes\\1";
    if (const Brask::Device* target = m_profiles.currentTarget())
        runtime = target->getRuntime();
    // Stop ends sendel as it ends a build's tool; sendel then tells the phone
    // to abort the transfer.
    m_busy.beginStoppable();
    const int result = m_manager.sendToPhone(runtime);
    if (m_busy.endStoppable()) {
        if (Brask::CommandExecutor* pane = m_manager.getExecutor())
            pane->message(Brask::kSendStoppedLine);
        return;
    }
    // A send the closing window ended needs no box either.
    if (result != 0 && !m_busy.quitPending())
        m_dialogs.showMessage(UserDialogs::Kind::Warning, tr("Bluetooth"), tr("Sending to phone failed!"));
}
