#pragma once
// Lets the user pick a phone from the devices that BlueZ knows, asked over
// the system message bus: the adapters and devices of BlueZ's object
// manager, kept current while a scan runs. Without a bus, without BlueZ or
// without an adapter the dialog says so and offers nothing to choose. The
// dialog shows at once; a busy indicator runs until the bus and BlueZ have
// answered, each within the call time-out.

#include <QDBusConnection>
#include <QDialog>
#include <QHash>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace Ui {
class PhoneDialog;
}
class BusConnector;
class QDBusMessage;
class QDBusPendingCallWatcher;
class QTreeWidgetItem;
class QVariant;

class PhoneDialog : public QDialog {
    Q_OBJECT
public:
    enum class State {
        Waiting,   // asked BlueZ, no answer yet
        Ready,     // BlueZ answered and has an adapter
        NoBus,     // the system bus cannot be reached
        NoBluez,   // nobody owns org.bluez on the bus
        NoAnswer,  // BlueZ did not answer in time or answered nonsense
        NoAdapter, // BlueZ runs but knows no adapter
    };

    // Asks BlueZ for what it knows; the answer (or the end of the call
    // time-out) comes later through the event loop. With exactly one known
    // device its row is selected.
    explicit PhoneDialog(QWidget* parent = nullptr);
    ~PhoneDialog() override;

    State state() const { return m_state; }
    // The chosen device's address as BlueZ writes it ("00:11:22:AA:BB:CC"),
    // or empty when no row is selected.
    QString chosenAddressText() const;
    // The chosen device's six address bytes, least significant first (as the
    // Bluetooth stack keeps them). False when nothing usable is selected.
    bool chosenAddress(std::array<std::uint8_t, 6>& bytes) const;
    bool isScanning() const { return m_scanning; }

    // "AA:BB:CC:DD:EE:FF" to bytes least significant first; false for any
    // other form.
    static bool parseAddress(const QString& text, std::array<std::uint8_t, 6>& bytes);
    // DBUS_SYSTEM_BUS_ADDRESS, or the system bus's well-known socket.
    static QString systemBusAddress();
    // Upper bound of every call to BlueZ, in milliseconds.
    static int callTimeout() { return s_callTimeout; }
    static void setCallTimeout(int milliseconds) { s_callTimeout = milliseconds; }

public slots:
    // Starts discovery on the adapter, or stops the one this dialog started.
    void toggleScan();

private slots:
    void interfacesAdded(const QDBusMessage& message);
    void interfacesRemoved(const QDBusMessage& message);
    void propertiesChanged(const QDBusMessage& message);
    void updateOkButton();
    void bluezLost();
    void objectsArrived(QDBusPendingCallWatcher* watcher);

private:
    struct Device {
        QString name;
        QString alias;
        QString address;
        bool paired = false;
        QTreeWidgetItem* item = nullptr;
    };

    void connectToBluez();
    void busConnected(bool connected, const QString& error);
    void setState(State state, const QString& detail = QString());
    void applyInterfaces(const QString& path, const QVariantMap& device, bool hasDevice, bool hasAdapter);
    void updateDevice(const QString& path, const QVariantMap& properties);
    void removeDevice(const QString& path);
    void showDevice(Device& device);
    void setScanning(bool scanning);
    void scanCallFinished(QDBusPendingCallWatcher* watcher, bool starting);
    void showCount();

    std::unique_ptr<Ui::PhoneDialog> m_ui;
    QString m_connectionName;
    QDBusConnection m_bus;
    // Whether m_bus was handed over by the connecting thread (only then may
    // it be used or closed from here).
    bool m_connected = false;
    BusConnector* m_connector = nullptr; // while connecting

    State m_state = State::NoBus;
    QString m_adapterPath;
    QHash<QString, Device> m_devices;
    bool m_scanning = false;
    bool m_scanStartedHere = false;
    bool m_scanCallPending = false;

    static int s_callTimeout;
};
