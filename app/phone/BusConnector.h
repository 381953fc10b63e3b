#pragma once
// Connects to a D-Bus bus off the GUI thread. A bus daemon that accepts the
// connection and never answers keeps QDBusConnection::connectToBus waiting
// without end (in D-Bus's own thread, which every other D-Bus call then
// queues behind), so the window must never make that call itself.

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class BusConnector : public QObject {
    Q_OBJECT
public:
    // Starts connecting to `address` under the connection name `name`;
    // finished() comes through the event loop.
    BusConnector(const QString& address, const QString& name, QObject* parent = nullptr);
    // Abandons the attempt: a connection that arrives later is dropped by
    // the thread that made it.
    ~BusConnector() override;

    // Attempts still waiting for their bus, process-wide. While one waits,
    // the program must leave without D-Bus's clean-up (it would wait too).
    static int pending() { return s_pending.load(); }

    // The connection, once finished() has said it is made.
    QDBusConnection connection() const { return m_connection; }

signals:
    // `error` is the bus's own text when not connected.
    void finished(bool connected, const QString& error);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    QDBusConnection m_connection{QString()};

    static std::atomic<int> s_pending;
};
