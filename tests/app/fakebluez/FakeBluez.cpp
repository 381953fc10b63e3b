// A stand-in for BlueZ on a private message bus, for the phone tests: owns
// org.bluez, exports an object manager at "/" with one adapter (or none) and
// the devices given on the command line, and during a scan adds, renames and
// removes devices as told. Each method call is printed on standard output
// ("call StartDiscovery"), after one line "ready" once the name is owned.
//
// usage: vb_fake_bluez BUS-ADDRESS [options]
//   --no-adapter                 export no adapter
//   --device ADDR,NAME,PAIRED    a known device (PAIRED 1 or 0; NAME may be empty)
//   --alias ADDR,ALIAS           give a known device an alias
//   --scan-device ADDR,NAME,0    a device found 100 ms into a scan
//   --scan-rename ADDR,NAME      a device's alias changes during a scan
//   --scan-remove ADDR           a device vanishes during a scan
//   --silent                     never answer GetManagedObjects
//   --fail-scan                  StartDiscovery fails with org.bluez.Error.NotReady

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QMap>
#include <QTimer>

#include <cstdio>

using InterfaceMap = QMap<QString, QVariantMap>;
using ObjectMap = QMap<QDBusObjectPath, InterfaceMap>;
Q_DECLARE_METATYPE(InterfaceMap)
Q_DECLARE_METATYPE(ObjectMap)

namespace {

const QString adapterPath = QStringLiteral("/org/bluez/hci0");
const QString adapterInterface = QStringLiteral("org.bluez.Adapter1");
const QString deviceInterface = QStringLiteral("org.bluez.Device1");
const QString objectManager = QStringLiteral("org.freedesktop.DBus.ObjectManager");

QString devicePath(const QString& address)
{
    return adapterPath + QStringLiteral("/dev_") + QString(address).replace(QLatin1Char(':'), QLatin1Char('_'));
}

QVariantMap deviceProperties(const QString& description)
{
    const QStringList parts = description.split(QLatin1Char(','));
    QVariantMap properties;
    properties.insert(QStringLiteral("Address"), parts.value(0));
    if (!parts.value(1).isEmpty())
        properties.insert(QStringLiteral("Name"), parts.value(1));
    properties.insert(QStringLiteral("Paired"), parts.value(2) == QLatin1String("1"));
    properties.insert(QStringLiteral("Adapter"), QVariant::fromValue(QDBusObjectPath(adapterPath)));
    return properties;
}

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

class FakeBluez : public QDBusVirtualObject {
public:
    explicit FakeBluez(const QDBusConnection& bus)
        : m_bus(bus)
    {
    }

    bool silent = false;
    bool failScan = false;
    bool hasAdapter = true;
    QMap<QString, QVariantMap> devices; // path -> Device1 properties
    QStringList scanDevices;
    QStringList scanRenames;
    QStringList scanRemovals;

    QString introspect(const QString&) const override { return QString(); }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.type() != QDBusMessage::MethodCallMessage)
            return false;
        say(QStringLiteral("call ") + message.member());
        const QString member = message.member();
        if (message.interface() == objectManager && member == QLatin1String("GetManagedObjects")) {
            if (silent)
                return true;
            connection.send(message.createReply(QVariant::fromValue(objects())));
            return true;
        }
        if (message.interface() == adapterInterface && message.path() == adapterPath && hasAdapter) {
            if (member == QLatin1String("StartDiscovery")) {
                if (failScan) {
                    connection.send(message.createErrorReply(QStringLiteral("org.bluez.Error.NotReady"),
                                                             QStringLiteral("Resource Not Ready")));
                    return true;
                }
                connection.send(message.createReply());
                discovering(true);
                QTimer::singleShot(100, [this] { scan(); });
                return true;
            }
            if (member == QLatin1String("StopDiscovery")) {
                connection.send(message.createReply());
                discovering(false);
                return true;
            }
        }
        connection.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"),
                                                 QStringLiteral("No such method here")));
        return true;
    }

private:
    ObjectMap objects() const
    {
        ObjectMap result;
        if (hasAdapter) {
            QVariantMap adapter;
            adapter.insert(QStringLiteral("Address"), QStringLiteral("00:1A:7D:DA:71:13"));
            adapter.insert(QStringLiteral("Powered"), true);
            adapter.insert(QStringLiteral("Discovering"), m_discovering);
            result.insert(QDBusObjectPath(adapterPath), InterfaceMap{{adapterInterface, adapter}});
        }
        for (auto it = devices.begin(); it != devices.end(); ++it)
            result.insert(QDBusObjectPath(it.key()), InterfaceMap{{deviceInterface, it.value()}});
        return result;
    }

    void propertiesChanged(const QString& path, const QString& interface, const QVariantMap& changed)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << interface << changed << QStringList();
        m_bus.send(signal);
    }

    void discovering(bool on)
    {
        m_discovering = on;
        propertiesChanged(adapterPath, adapterInterface, {{QStringLiteral("Discovering"), on}});
    }

    void scan()
    {
        for (const QString& description : scanDevices) {
            const QVariantMap properties = deviceProperties(description);
            const QString path = devicePath(properties.value(QStringLiteral("Address")).toString());
            devices.insert(path, properties);
            QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/"), objectManager,
                                                             QStringLiteral("InterfacesAdded"));
            signal << QVariant::fromValue(QDBusObjectPath(path))
                   << QVariant::fromValue(InterfaceMap{{deviceInterface, properties}});
            m_bus.send(signal);
        }
        for (const QString& description : scanRenames) {
            const QString path = devicePath(description.section(QLatin1Char(','), 0, 0));
            const QString alias = description.section(QLatin1Char(','), 1);
            devices[path].insert(QStringLiteral("Alias"), alias);
            propertiesChanged(path, deviceInterface, {{QStringLiteral("Alias"), alias}});
        }
        for (const QString& address : scanRemovals) {
            const QString path = devicePath(address);
            devices.remove(path);
            QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/"), objectManager,
                                                             QStringLiteral("InterfacesRemoved"));
            signal << QVariant::fromValue(QDBusObjectPath(path)) << QStringList{deviceInterface};
            m_bus.send(signal);
        }
        say(QStringLiteral("scanned"));
    }

    QDBusConnection m_bus;
    bool m_discovering = false;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qDBusRegisterMetaType<InterfaceMap>();
    qDBusRegisterMetaType<ObjectMap>();
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: vb_fake_bluez BUS-ADDRESS [options]\n");
        return 2;
    }
    QDBusConnection bus = QDBusConnection::connectToBus(args[1], QStringLiteral("fake-bluez"));
    if (!bus.isConnected()) {
        std::fprintf(stderr, "vb_fake_bluez: cannot connect to %s\n", qPrintable(args[1]));
        return 1;
    }
    FakeBluez bluez(bus);
    for (int i = 2; i < args.size(); ++i) {
        const QString option = args[i];
        const QString value = args.value(i + 1);
        if (option == QLatin1String("--no-adapter")) {
            bluez.hasAdapter = false;
        } else if (option == QLatin1String("--silent")) {
            bluez.silent = true;
        } else if (option == QLatin1String("--fail-scan")) {
            bluez.failScan = true;
        } else if (option == QLatin1String("--device")) {
            const QVariantMap properties = deviceProperties(value);
            bluez.devices.insert(devicePath(properties.value(QStringLiteral("Address")).toString()), properties);
            ++i;
        } else if (option == QLatin1String("--alias")) {
            bluez.devices[devicePath(value.section(QLatin1Char(','), 0, 0))].insert(
                QStringLiteral("Alias"), value.section(QLatin1Char(','), 1));
            ++i;
        } else if (option == QLatin1String("--scan-device")) {
            bluez.scanDevices.append(value);
            ++i;
        } else if (option == QLatin1String("--scan-rename")) {
            bluez.scanRenames.append(value);
            ++i;
        } else if (option == QLatin1String("--scan-remove")) {
            bluez.scanRemovals.append(value);
            ++i;
        } else {
            std::fprintf(stderr, "vb_fake_bluez: unknown option %s\n", qPrintable(option));
            return 2;
        }
    }
    if (!bus.registerVirtualObject(QStringLiteral("/"), &bluez, QDBusConnection::SubPath)
        || !bus.registerService(QStringLiteral("org.bluez"))) {
        std::fprintf(stderr, "vb_fake_bluez: cannot own org.bluez\n");
        return 1;
    }
    say(QStringLiteral("ready"));
    return app.exec();
}
