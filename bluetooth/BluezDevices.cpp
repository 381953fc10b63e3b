#include "bluetooth/BluezDevices.h"

#include <dbus/dbus.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace Brask {

namespace {

struct ConnectionCloser {
    void operator()(DBusConnection* connection) const
    {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

// Frees the error on every way out.
class Error {
public:
    Error() { dbus_error_init(&m_error); }
    ~Error() { dbus_error_free(&m_error); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    DBusError* get() { return &m_error; }
    bool is(const char* name) const { return dbus_error_has_name(&m_error, name); }
    std::string text() const
    {
        return std::string(m_error.name ? m_error.name : "") + (m_error.message ? std::string(": ") + m_error.message : "");
    }

private:
    DBusError m_error;
};

// Reads the properties (a{sv}) that the list shows. The reply's signature
// has been checked, so the container types are known; the values are not.
void readDeviceProperties(DBusMessageIter* properties, BluezDevice& device)
{
    DBusMessageIter entries;
    dbus_message_iter_recurse(properties, &entries);
    while (dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY) {
        DBusMessageIter entry;
        dbus_message_iter_recurse(&entries, &entry);
        const char* key = nullptr;
        dbus_message_iter_get_basic(&entry, &key);
        dbus_message_iter_next(&entry);
        DBusMessageIter value;
        dbus_message_iter_recurse(&entry, &value);
        const int type = dbus_message_iter_get_arg_type(&value);
        if (type == DBUS_TYPE_STRING) {
            const char* text = nullptr;
            dbus_message_iter_get_basic(&value, &text);
            if (std::strcmp(key, "Name") == 0)
                device.name = text;
            else if (std::strcmp(key, "Alias") == 0)
                device.alias = text;
            else if (std::strcmp(key, "Address") == 0)
                device.address = text;
        } else if (type == DBUS_TYPE_BOOLEAN && std::strcmp(key, "Paired") == 0) {
            dbus_bool_t paired = FALSE;
            dbus_message_iter_get_basic(&value, &paired);
            device.paired = paired != FALSE;
        }
        dbus_message_iter_next(&entries);
    }
}

void readObjects(DBusMessage* reply, BluezInventory& inventory)
{
    DBusMessageIter top;
    dbus_message_iter_init(reply, &top);
    DBusMessageIter objects;
    dbus_message_iter_recurse(&top, &objects);
    while (dbus_message_iter_get_arg_type(&objects) == DBUS_TYPE_DICT_ENTRY) {
        DBusMessageIter object;
        dbus_message_iter_recurse(&objects, &object);
        const char* path = nullptr;
        dbus_message_iter_get_basic(&object, &path);
        dbus_message_iter_next(&object);

        BluezDevice device;
        device.path = path;
        bool isDevice = false;
        DBusMessageIter interfaces;
        dbus_message_iter_recurse(&object, &interfaces);
        while (dbus_message_iter_get_arg_type(&interfaces) == DBUS_TYPE_DICT_ENTRY) {
            DBusMessageIter interface;
            dbus_message_iter_recurse(&interfaces, &interface);
            const char* name = nullptr;
            dbus_message_iter_get_basic(&interface, &name);
            dbus_message_iter_next(&interface);
            if (std::strcmp(name, "org.bluez.Adapter1") == 0) {
                inventory.adapters.push_back(path);
            } else if (std::strcmp(name, "org.bluez.Device1") == 0) {
                isDevice = true;
                readDeviceProperties(&interface, device);
            }
            dbus_message_iter_next(&interfaces);
        }
        if (isDevice)
            inventory.devices.push_back(std::move(device));
        dbus_message_iter_next(&objects);
    }
}

} // namespace

std::string systemBusAddress()
{
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (address && *address)
        return address;
    return "unix:path=/var/run/dbus/system_bus_socket";
}

BluezStatus readBluezInventory(BluezInventory& inventory, std::string& error, int timeoutMs)
{
    inventory = BluezInventory();
    const std::string address = systemBusAddress();
    Error failure;
    DBusConnection* opened = dbus_connection_open_private(address.c_str(), failure.get());
    if (!opened) {
        error = "cannot reach the system message bus at " + address + " (" + failure.text() + ")";
        return BluezStatus::NoBus;
    }
    Connection connection(opened);
    // A bus that goes away must not end this process.
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    if (!dbus_bus_register(connection.get(), failure.get())) {
        error = "the system message bus at " + address + " refused the connection (" + failure.text() + ")";
        return BluezStatus::NoBus;
    }

    Message call(dbus_message_new_method_call("org.bluez", "/", "org.freedesktop.DBus.ObjectManager",
                                              "GetManagedObjects"));
    if (!call) {
        error = "out of memory";
        return BluezStatus::NoAnswer;
    }
    Message reply(dbus_connection_send_with_reply_and_block(connection.get(), call.get(), timeoutMs, failure.get()));
    if (!reply) {
        if (failure.is(DBUS_ERROR_SERVICE_UNKNOWN) || failure.is(DBUS_ERROR_NAME_HAS_NO_OWNER)) {
            error = "the Bluetooth service (BlueZ) is not running";
            return BluezStatus::NoBluez;
        }
        if (failure.is(DBUS_ERROR_NO_REPLY) || failure.is(DBUS_ERROR_TIMEOUT))
            error = "the Bluetooth service (BlueZ) did not answer within " + std::to_string(timeoutMs) + " ms";
        else
            error = "the Bluetooth service (BlueZ) gave no device list (" + failure.text() + ")";
        return BluezStatus::NoAnswer;
    }
    if (!dbus_message_has_signature(reply.get(), "a{oa{sa{sv}}}")) {
        error = std::string("the Bluetooth service (BlueZ) answered with an unexpected list (signature ") +
                dbus_message_get_signature(reply.get()) + ")";
        return BluezStatus::NoAnswer;
    }
    readObjects(reply.get(), inventory);
    return BluezStatus::Ok;
}

} // namespace Brask
