// varbuild-cli phone list: the devices the system's Bluetooth service knows,
// one per line as address TAB name TAB "paired" or "not paired".

#include "cli/Commands.h"

#include "bluetooth/BluezDevices.h"
#include "bluetooth/BtReport.h"

#include <cstdio>

namespace Cli {

int runPhoneListCommand(const std::vector<std::string>& args)
{
    if (!args.empty()) {
        std::fprintf(stderr, "usage: varbuild-cli phone list\n");
        return 1;
    }
    Brask::BluezInventory inventory;
    std::string error;
    if (Brask::readBluezInventory(inventory, error) != Brask::BluezStatus::Ok) {
        printError("cannot list Bluetooth devices: " + Brask::printableBytes(error));
        return 1;
    }
    if (inventory.adapters.empty()) {
        printError("cannot list Bluetooth devices: this computer has no Bluetooth adapter");
        return 1;
    }
    for (const Brask::BluezDevice& device : inventory.devices) {
        // Names come from whatever device is nearby: none may drive the terminal.
        const std::string& name = !device.alias.empty() ? device.alias : device.name;
        std::printf("%s\t%s\t%s\n", Brask::printableBytes(device.address).c_str(), Brask::printableBytes(name).c_str(),
                    device.paired ? "paired" : "not paired");
    }
    if (inventory.devices.empty())
        std::fprintf(stderr, "No devices known yet: let the computer find the phone first (a scan, or pairing).\n");
    return 0;
}

} // namespace Cli
