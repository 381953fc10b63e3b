#pragma once
// The adapters and devices that BlueZ knows, read once from its object
// manager on the system message bus. Used where no window is: the command
// line's phone list.

#include <string>
#include <vector>

namespace Brask {

struct BluezDevice {
    std::string path;    // D-Bus object path
    std::string address; // "00:11:22:AA:BB:CC", as BlueZ writes it
    std::string name;    // the device's own name; may be empty
    std::string alias;   // the name the user gave it, else BlueZ's default
    bool paired = false;
};

struct BluezInventory {
    std::vector<std::string> adapters; // object paths, in the order BlueZ gave them
    std::vector<BluezDevice> devices;  // in the order BlueZ gave them
};

enum class BluezStatus {
    Ok,
    NoBus,    // the system bus cannot be reached
    NoBluez,  // nobody owns org.bluez
    NoAnswer, // no answer within the time-out, or an answer of the wrong shape
};

// DBUS_SYSTEM_BUS_ADDRESS, or the system bus's well-known socket.
std::string systemBusAddress();

// One GetManagedObjects call on org.bluez, waiting at most `timeoutMs`.
// On failure `error` says what went wrong and `inventory` stays empty.
BluezStatus readBluezInventory(BluezInventory& inventory, std::string& error, int timeoutMs = 3000);

} // namespace Brask
