#include "app/phone/PhoneDialog.h"

#include "ui_PhoneDialog.h"

#include "app/phone/BusConnector.h"

#include "bluetooth/BtReport.h"
#include "util/Diagnostics.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidgetItem>

#include <algorithm>
#include <utility>

namespace {

const QString bluez = QStringLiteral("org.bluez");
const QString objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString deviceInterface = QStringLiteral("org.bluez.Device1");

int connectionCounter = 0;

// One object's interfaces with their properties (a{sa{sv}}).
QHash<QString, QVariantMap> readInterfaces(const QDBusArgument& argument)
{
    QHash<QString, QVariantMap> interfaces;
    argument.beginMap();
    while (!argument.atEnd()) {
        QString name;
        QVariantMap properties;
        argument.beginMapEntry();
        argument >> name >> properties;
        argument.endMapEntry();
        interfaces.insert(name, properties);
    }
    argument.endMap();
    return interfaces;
}

} // namespace

int PhoneDialog::s_callTimeout = 3000;

PhoneDialog::PhoneDialog(QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::PhoneDialog>())
    , m_bus(QString())
{
    m_ui->setupUi(this);
    m_ui->deviceList->header()->setStretchLastSection(false);
    m_ui->deviceList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_ui->deviceList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_ui->deviceList->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    connect(m_ui->scanButton, &QPushButton::clicked, this, &PhoneDialog::toggleScan);
    connect(m_ui->deviceList, &QTreeWidget::itemSelectionChanged, this, &PhoneDialog::updateOkButton);
    connect(m_ui->deviceList, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (m_ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled())
            accept();
    });
    connectToBluez();
    updateOkButton();
}

PhoneDialog::~PhoneDialog()
{
    // A connection still being made is the connecting thread's to close.
    if (!m_connected)
        return;
    // BlueZ ends a client's discovery when the client leaves the bus; saying
    // so first keeps the radio quiet at once.
    if (m_bus.isConnected() && m_scanning && m_scanStartedHere) {
        const QDBusMessage stop
            = QDBusMessage::createMethodCall(bluez, m_adapterPath, adapterInterface, QStringLiteral("StopDiscovery"));
        m_bus.call(stop, QDBus::Block, std::min(s_callTimeout, 1000));
    }
    QDBusConnection::disconnectFromBus(m_connectionName);
}

QString PhoneDialog::systemBusAddress()
{
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (!address.isEmpty())
        return QString::fromLocal8Bit(address);
    return QStringLiteral("unix:path=/var/run/dbus/system_bus_socket");
}

bool PhoneDialog::parseAddress(const QString& text, std::array<std::uint8_t, 6>& bytes)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 6)
        return false;
    std::array<std::uint8_t, 6> parsed{};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok, 16);
        if (!ok || parts[i].size() != 2 || value > 0xff)
            return false;
        // The text starts with the most significant byte.
        parsed[5 - i] = static_cast<std::uint8_t>(value);
    }
    bytes = parsed;
    return true;
}

QString PhoneDialog::chosenAddressText() const
{
    const QList<QTreeWidgetItem*> selected = m_ui->deviceList->selectedItems();
    if (selected.size() != 1)
        return QString();
    return selected.first()->text(1);
}

bool PhoneDialog::chosenAddress(std::array<std::uint8_t, 6>& bytes) const
{
    return m_state == State::Ready && parseAddress(chosenAddressText(), bytes);
}

void PhoneDialog::connectToBluez()
{
    m_connectionName = QStringLiteral("varbuild-phone-dialog-%1").arg(++connectionCounter);
    setState(State::Waiting);
    m_connector = new BusConnector(systemBusAddress(), m_connectionName, this);
    connect(m_connector, &BusConnector::finished, this, &PhoneDialog::busConnected);
    // A bus daemon that took the connection and hangs gets the time-out of
    // any other call; the connection then goes with the connecting thread.
    QTimer::singleShot(s_callTimeout, this, [this] {
        if (!m_connector)
            return;
        delete std::exchange(m_connector, nullptr);
        setState(State::NoAnswer, tr("The system message bus took the connection but gave no answer within %1 "
                                     "seconds.")
                                      .arg(s_callTimeout / 1000.0));
    });
}

void PhoneDialog::busConnected(bool connected, const QString& error)
{
    if (!m_connector)
        return;
    m_bus = m_connector->connection();
    std::exchange(m_connector, nullptr)->deleteLater();
    m_connected = true;
    if (!connected) {
        Brask::diag("System bus: %s\n", qPrintable(error));
        setState(State::NoBus);
        return;
    }
    // Listen before asking, so that nothing that changes in between is lost.
    auto* owner = new QDBusServiceWatcher(bluez, m_bus, QDBusServiceWatcher::WatchForUnregistration, this);
    connect(owner, &QDBusServiceWatcher::serviceUnregistered, this, &PhoneDialog::bluezLost);
    m_bus.connect(bluez, QStringLiteral("/"), objectManager, QStringLiteral("InterfacesAdded"), this,
                  SLOT(interfacesAdded(QDBusMessage)));
    m_bus.connect(bluez, QStringLiteral("/"), objectManager, QStringLiteral("InterfacesRemoved"), this,
                  SLOT(interfacesRemoved(QDBusMessage)));
    m_bus.connect(bluez, QString(), propertiesInterface, QStringLiteral("PropertiesChanged"), this,
                  SLOT(propertiesChanged(QDBusMessage)));

    const QDBusMessage call
        = QDBusMessage::createMethodCall(bluez, QStringLiteral("/"), objectManager, QStringLiteral("GetManagedObjects"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, s_callTimeout), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &PhoneDialog::objectsArrived);
}

void PhoneDialog::objectsArrived(QDBusPendingCallWatcher* watcher)
{
    watcher->deleteLater();
    // BlueZ may have left the bus meanwhile; the dialog already says so.
    if (m_state != State::Waiting)
        return;
    const QDBusMessage reply = watcher->reply();
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString error = reply.errorName();
        // The bus's own words are for the diagnostics, not for the user.
        Brask::diag("GetManagedObjects: %s: %s\n", Brask::printableBytes(error.toStdString()).c_str(),
                    Brask::printableBytes(reply.errorMessage().toStdString()).c_str());
        if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            || error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            setState(State::NoBluez);
        else
            setState(State::NoAnswer,
                     error == QLatin1String("org.freedesktop.DBus.Error.NoReply")
                             || error == QLatin1String("org.freedesktop.DBus.Error.Timeout")
                         ? tr("It gave no answer within %1 seconds.").arg(s_callTimeout / 1000.0)
                         : tr("It refused to list its devices."));
        return;
    }
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("a{oa{sa{sv}}}")) {
        setState(State::NoAnswer, tr("Its answer was not a list of objects."));
        return;
    }

    const QDBusArgument objects = reply.arguments().at(0).value<QDBusArgument>();
    objects.beginMap();
    while (!objects.atEnd()) {
        QDBusObjectPath path;
        objects.beginMapEntry();
        objects >> path;
        const QHash<QString, QVariantMap> interfaces = readInterfaces(objects);
        objects.endMapEntry();
        applyInterfaces(path.path(), interfaces.value(deviceInterface), interfaces.contains(deviceInterface),
                        interfaces.contains(adapterInterface));
    }
    objects.endMap();
    setState(m_adapterPath.isEmpty() ? State::NoAdapter : State::Ready);
    // Only one phone to choose: it is chosen already.
    if (m_state == State::Ready && m_devices.size() == 1)
        m_ui->deviceList->setCurrentItem(m_devices.begin()->item);
}

void PhoneDialog::setState(State state, const QString& detail)
{
    m_state = state;
    QString text;
    switch (state) {
    case State::Waiting:
        text = tr("Asking the Bluetooth service for the devices it knows...");
        break;
    case State::Ready:
        text = tr("Choose the phone to send packages to. Press Scan to look for phones nearby; the phone must be "
                  "visible to other devices.");
        break;
    case State::NoBus:
        text = tr("Bluetooth cannot be used: the system message bus cannot be reached, so the Bluetooth service "
                  "cannot be asked for devices.");
        break;
    case State::NoBluez:
        text = tr("Bluetooth cannot be used: the Bluetooth service (BlueZ) is not running on this computer. "
                  "Start it, for example with \"systemctl start bluetooth\", and try again.");
        break;
    case State::NoAnswer:
        text = tr("Bluetooth cannot be used: the Bluetooth service (BlueZ) did not answer the request for its "
                  "devices. It may be busy; try again in a moment, or restart it, for example with \"systemctl restart bluetooth\".");
        break;
    case State::NoAdapter:
        text = tr("Bluetooth cannot be used: this computer has no Bluetooth adapter. Plug one in or switch it on, "
                  "then try again.");
        break;
    }
    if (!detail.isEmpty())
        text += QStringLiteral("\n\n") + detail;
    m_ui->messageLabel->setText(text);

    const bool ready = state == State::Ready;
    const bool waiting = state == State::Waiting;
    m_ui->busyIndicator->setVisible(waiting);
    m_ui->deviceList->setEnabled(ready);
    m_ui->scanButton->setEnabled(ready && !m_scanCallPending);
    if (waiting) {
        m_ui->statusLabel->setText(tr("Waiting for the Bluetooth service..."));
    } else if (!ready) {
        m_scanning = false;
        m_scanStartedHere = false;
        m_ui->scanButton->setText(tr("Scan"));
        m_ui->statusLabel->clear();
        m_ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Close"));
    } else {
        m_ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
        showCount();
    }
    updateOkButton();
}

void PhoneDialog::applyInterfaces(const QString& path, const QVariantMap& device, bool hasDevice, bool hasAdapter)
{
    if (hasAdapter && m_adapterPath.isEmpty())
        m_adapterPath = path;
    if (hasDevice)
        updateDevice(path, device);
}

void PhoneDialog::updateDevice(const QString& path, const QVariantMap& properties)
{
    Device& device = m_devices[path];
    const auto take = [&properties](const char* key, QString& into) {
        const auto found = properties.constFind(QLatin1String(key));
        if (found != properties.constEnd() && found->metaType().id() == QMetaType::QString)
            into = found->toString();
    };
    take("Name", device.name);
    take("Alias", device.alias);
    take("Address", device.address);
    const auto paired = properties.constFind(QStringLiteral("Paired"));
    if (paired != properties.constEnd() && paired->metaType().id() == QMetaType::Bool)
        device.paired = paired->toBool();
    if (!device.item) {
        device.item = new QTreeWidgetItem(m_ui->deviceList);
        device.item->setData(0, Qt::UserRole, path);
    }
    showDevice(device);
    if (m_state == State::Ready)
        showCount();
}

void PhoneDialog::removeDevice(const QString& path)
{
    const auto found = m_devices.find(path);
    if (found == m_devices.end())
        return;
    delete found->item;
    m_devices.erase(found);
    if (m_state == State::Ready)
        showCount();
    updateOkButton();
}

void PhoneDialog::showDevice(Device& device)
{
    const QString shown = !device.alias.isEmpty() ? device.alias : !device.name.isEmpty() ? device.name : device.address;
    device.item->setText(0, shown);
    device.item->setText(1, device.address);
    device.item->setText(2, device.paired ? tr("Yes") : tr("No"));
}

void PhoneDialog::bluezLost()
{
    // Whatever was listed belonged to the BlueZ that has gone.
    for (Device& device : m_devices)
        delete device.item;
    m_devices.clear();
    m_adapterPath.clear();
    setState(State::NoBluez);
}

void PhoneDialog::interfacesAdded(const QDBusMessage& message)
{
    if (message.signature() != QLatin1String("oa{sa{sv}}"))
        return;
    const QString path = message.arguments().at(0).value<QDBusObjectPath>().path();
    const QHash<QString, QVariantMap> interfaces = readInterfaces(message.arguments().at(1).value<QDBusArgument>());
    const bool hadAdapter = !m_adapterPath.isEmpty();
    applyInterfaces(path, interfaces.value(deviceInterface), interfaces.contains(deviceInterface),
                    interfaces.contains(adapterInterface));
    if (!hadAdapter && !m_adapterPath.isEmpty() && m_state == State::NoAdapter)
        setState(State::Ready);
}

void PhoneDialog::interfacesRemoved(const QDBusMessage& message)
{
    if (message.signature() != QLatin1String("oas"))
        return;
    const QString path = message.arguments().at(0).value<QDBusObjectPath>().path();
    const QStringList interfaces = message.arguments().at(1).toStringList();
    if (interfaces.contains(deviceInterface))
        removeDevice(path);
    if (interfaces.contains(adapterInterface) && path == m_adapterPath) {
        m_adapterPath.clear();
        setState(State::NoAdapter);
    }
}

void PhoneDialog::propertiesChanged(const QDBusMessage& message)
{
    if (message.signature() != QLatin1String("sa{sv}as"))
        return;
    const QString interface = message.arguments().at(0).toString();
    const QString path = message.path();
    QVariantMap changed;
    message.arguments().at(1).value<QDBusArgument>() >> changed;
    if (interface == deviceInterface && m_devices.contains(path)) {
        // A name BlueZ forgets is shown as forgotten.
        const QStringList invalidated = message.arguments().at(2).toStringList();
        for (const char* key : {"Name", "Alias"}) {
            if (invalidated.contains(QLatin1String(key)) && !changed.contains(QLatin1String(key)))
                changed.insert(QLatin1String(key), QString());
        }
        updateDevice(path, changed);
        updateOkButton();
    } else if (interface == adapterInterface && path == m_adapterPath) {
        // The adapter ends discovery by itself when it is switched off.
        const auto discovering = changed.constFind(QStringLiteral("Discovering"));
        if (discovering != changed.constEnd() && !discovering->toBool() && m_scanning && !m_scanCallPending) {
            m_scanStartedHere = false;
            setScanning(false);
        }
    }
}

void PhoneDialog::toggleScan()
{
    if (m_state != State::Ready || m_scanCallPending)
        return;
    const bool start = !m_scanning;
    const QDBusMessage call = QDBusMessage::createMethodCall(
        bluez, m_adapterPath, adapterInterface, start ? QStringLiteral("StartDiscovery") : QStringLiteral("StopDiscovery"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, s_callTimeout), this);
    m_scanCallPending = true;
    m_ui->scanButton->setEnabled(false);
    m_ui->statusLabel->setText(start ? tr("Starting the scan...") : tr("Stopping the scan..."));
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, start](QDBusPendingCallWatcher* finished) { scanCallFinished(finished, start); });
}

void PhoneDialog::scanCallFinished(QDBusPendingCallWatcher* watcher, bool starting)
{
    watcher->deleteLater();
    m_scanCallPending = false;
    if (m_state != State::Ready)
        return;
    m_ui->scanButton->setEnabled(true);
    if (watcher->isError()) {
        const QString error = watcher->error().message();
        if (starting) {
            setScanning(false);
            m_ui->statusLabel->setText(tr("The scan could not start: %1").arg(error));
        } else {
            // Whatever went wrong, this dialog no longer asks for a scan.
            m_scanStartedHere = false;
            setScanning(false);
        }
        return;
    }
    m_scanStartedHere = starting;
    setScanning(starting);
}

void PhoneDialog::setScanning(bool scanning)
{
    m_scanning = scanning;
    m_ui->scanButton->setText(scanning ? tr("Stop scan") : tr("Scan"));
    showCount();
}

void PhoneDialog::showCount()
{
    const int count = int(m_devices.size());
    QString text;
    if (m_scanning)
        text = tr("Scanning... %1 known").arg(count == 1 ? tr("1 device") : tr("%1 devices").arg(count));
    else if (count == 0)
        text = tr("No devices known yet: press Scan.");
    else
        text = count == 1 ? tr("1 device") : tr("%1 devices").arg(count);
    m_ui->statusLabel->setText(text);
}

void PhoneDialog::updateOkButton()
{
    std::array<std::uint8_t, 6> bytes{};
    m_ui->buttonBox->button(QDialogButtonBox::Ok)->setEnabled(chosenAddress(bytes));
}
