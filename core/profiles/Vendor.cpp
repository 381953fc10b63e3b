#include "core/profiles/Vendor.h"

namespace Brask {

Vendor::Vendor(String name, String iconPath)
    : m_name(std::move(name))
    , m_iconPath(std::move(iconPath))
{
}

Vendor::~Vendor() = default;

Device& Vendor::addDevice(const String& name)
{
    m_devices.push_back(std::make_unique<Device>(name, this));
    return *m_devices.back();
}

} // namespace Brask
