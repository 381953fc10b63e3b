#include "app/phone/QtPhoneChooser.h"

#include "app/dialogs/DialogRunner.h"
#include "app/phone/PhoneDialog.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressDialog>

#include <limits>

namespace {
// A search that ends sooner shows no indicator at all.
constexpr int indicatorDelayMs = 250;
constexpr int pollMs = 50;
} // namespace

QtPhoneChooser::QtPhoneChooser(QWidget* parent, DialogRunner* runner, std::function<bool()> abandoned)
    : m_parent(parent)
    , m_runner(runner)
    , m_abandoned(std::move(abandoned))
{
}

int QtPhoneChooser::chooseDevices(int& count, std::array<std::uint8_t, 6>& address)
{
    count = 0;
    m_failureExplained = false;
    PhoneDialog dialog(m_parent);
    dialog.setObjectName(QStringLiteral("PhoneDialog"));
    const int result = m_runner->run(dialog);
    switch (dialog.state()) {
    case PhoneDialog::State::Ready:
    case PhoneDialog::State::Waiting:  // closed before BlueZ answered: nothing to choose from yet
        break;
    case PhoneDialog::State::NoBus:
    case PhoneDialog::State::NoBluez:
        m_failureExplained = true;
        return NoBluetoothService;
    case PhoneDialog::State::NoAdapter:
        m_failureExplained = true;
        return NoAdapter;
    case PhoneDialog::State::NoAnswer:
        m_failureExplained = true;
        return NoAnswer;
    }
    if (result != QDialog::Accepted)
        return Cancelled;
    if (dialog.chosenAddress(address))
        count = 1;
    return 0;
}

bool QtPhoneChooser::waitForSearch(const std::function<bool(int ms)>& waitFor)
{
    QProgressDialog progress(QCoreApplication::translate("QtPhoneChooser",
                                                         "Looking for the phone's file transfer service..."),
                             QCoreApplication::translate("QtPhoneChooser", "Cancel"), 0, 0, m_parent);
    progress.setObjectName(QStringLiteral("phoneSearchProgress"));
    progress.setWindowTitle(QCoreApplication::translate("QtPhoneChooser", "Bluetooth"));
    // Not modal: a modal indicator would keep the window manager's close and
    // the window's Quit from the window, and so from ending the wait. The
    // busy window starts nothing meanwhile; Ctrl+Q here is the window's Quit.
    progress.setWindowModality(Qt::NonModal);
    if (m_parent) {
        if (QAction* quit = m_parent->findChild<QAction*>(QStringLiteral("actionQuit")))
            progress.addAction(quit);
    }
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    // Shown by the loop below, not by the dialog's own timer.
    progress.setMinimumDuration(std::numeric_limits<int>::max());

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (waitFor(pollMs))
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, pollMs);
        if (progress.wasCanceled() || (m_abandoned && m_abandoned()))
            return false;
        if (!progress.isVisible() && clock.elapsed() >= indicatorDelayMs)
            progress.show();
    }
}
