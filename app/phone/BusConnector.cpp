#include "app/phone/BusConnector.h"

#include <QDBusError>

#include <mutex>
#include <thread>

std::atomic<int> BusConnector::s_pending{0};

struct BusConnector::Shared {
    std::mutex lock;
    BusConnector* owner = nullptr; // null once abandoned
};

BusConnector::BusConnector(const QString& address, const QString& name, QObject* parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
{
    m_shared->owner = this;
    ++s_pending;
    // Detached: it may wait for ever, and nothing may wait for it.
    std::thread([shared = m_shared, address, name] {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        const bool connected = bus.isConnected();
        const QString error = bus.lastError().message();
        {
            std::lock_guard<std::mutex> guard(shared->lock);
            if (shared->owner) {
                BusConnector* owner = shared->owner;
                // Handed over as it is: looking it up by name from the GUI
                // thread would wait behind any other connect that hangs.
                QMetaObject::invokeMethod(
                    owner,
                    [owner, bus, connected, error] {
                        owner->m_connection = bus;
                        emit owner->finished(connected, error);
                    },
                    Qt::QueuedConnection);
            } else {
                QDBusConnection::disconnectFromBus(name);
            }
        }
        --s_pending;
    }).detach();
}

BusConnector::~BusConnector()
{
    std::lock_guard<std::mutex> guard(m_shared->lock);
    m_shared->owner = nullptr;
}
