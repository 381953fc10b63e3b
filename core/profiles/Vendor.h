#pragma once
// A phone maker of the profile database and its devices in load order.

#include "core/profiles/Device.h"
#include "kvutil/KVUtil.h"

#include <memory>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class Vendor {
public:
    Vendor(String name, String iconPath);
    ~Vendor();
    Vendor(const Vendor&) = delete;
    Vendor& operator=(const Vendor&) = delete;

    const String& getName() const { return m_name; }
    // Vendor directory + "/icon.png"; the file may not exist.
    const String& getIconPath() const { return m_iconPath; }
    const Vector<std::unique_ptr<Device>>& getDevices() const { return m_devices; }

    // Appends a device with an empty runtime and no features or constants.
    Device& addDevice(const String& name);

private:
    String m_name;
    String m_iconPath;
    Vector<std::unique_ptr<Device>> m_devices;
};

} // namespace Brask
