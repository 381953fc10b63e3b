#include "app/ProfilesLoading.h"

#include "app/dialogs/WindowBusy.h"
#include "app/panels/ProfilesPanel.h"
#include "core/CommandExecutor.h"
#include "core/ProjectManager.h"

#include <QApplication>
#include <QEventLoop>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

ProfilesLoading::ProfilesLoading(QMainWindow* window, Brask::ProjectManager& manager, WindowBusy& busy,
                                 ProfilesPanel& profiles)
    : QObject(nullptr)
    , m_window(window)
    , m_manager(manager)
    , m_busy(busy)
    , m_profiles(profiles)
{
    setObjectName(QStringLiteral("profilesLoading"));
    m_manager.checkProfiles();
    m_manager.setProfilesWaiter([this](const std::function<bool()>& finished) { wait(finished); });
    m_window->statusBar()->showMessage(readingText());
    // Once the event loop runs: the window is then on its way to the
    // screen, and the read does not compete with building and showing it.
    QTimer::singleShot(0, this, &ProfilesLoading::start);
}

void ProfilesLoading::start()
{
    // Something may have needed the database before the loop ran and read
    // it there: no read starts then.
    const bool readAlready = m_manager.profilesRead();
    // From the worker thread: posting is safe, and the event dies with this
    // object should it still be queued then.
    m_manager.startReadingProfiles(
        [this] { QMetaObject::invokeMethod(this, &ProfilesLoading::onArrived, Qt::QueuedConnection); });
    if (readAlready)
        onArrived();
}

QString ProfilesLoading::readingText()
{
    return tr("Reading the device profiles...");
}

ProfilesLoading::~ProfilesLoading()
{
    m_manager.stopReadingProfiles();
}

void ProfilesLoading::onArrived()
{
    // A reload may have started another read since this one ended.
    if (!m_manager.profilesRead())
        return;
    m_profiles.databaseArrived();
    if (m_window->statusBar()->currentMessage() == readingText())
        m_window->statusBar()->clearMessage();
    emit arrived();
}

void ProfilesLoading::wait(const std::function<bool()>& finished)
{
    if (finished())
        return;
    // Busy: nothing else starts or changes the project meanwhile.
    m_busy.beginBusy();
    const QString text = readingText();
    m_window->statusBar()->showMessage(text);
    if (Brask::CommandExecutor* pane = m_manager.getExecutor())
        pane->message("Waiting for the device profiles to be read...");
    QApplication::setOverrideCursor(Qt::BusyCursor);
    while (!finished()) {
        QEventLoop loop;
        connect(this, &ProfilesLoading::arrived, &loop, &QEventLoop::quit);
        // The read may end before its arrival is delivered.
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QApplication::restoreOverrideCursor();
    if (m_window->statusBar()->currentMessage() == text)
        m_window->statusBar()->clearMessage();
    m_busy.endBusy();
}
