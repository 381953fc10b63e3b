#include "core/profiles/DeviceRef.h"

namespace Brask {

DeviceRef::DeviceRef(const ProfileDatabase& database, const Device* device)
    : m_database(&database)
    , m_device(device)
    , m_generation(database.generation())
{
    if (device) {
        m_deviceName = device->getName();
        if (device->getVendor())
            m_vendorName = device->getVendor()->getName();
    }
}

bool DeviceRef::isStale() const
{
    return m_database && m_database->generation() != m_generation;
}

const Device* DeviceRef::get() const
{
    return isStale() ? nullptr : m_device;
}

const Device* DeviceRef::resolve()
{
    if (!m_database)
        return nullptr;
    if (!isStale())
        return m_device;
    m_device = m_database->findDevice(m_vendorName, m_deviceName);
    m_generation = m_database->generation();
    if (!m_device)
        reset();
    return m_device;
}

void DeviceRef::reset()
{
    m_database = nullptr;
    m_device = nullptr;
    m_generation = 0;
    m_vendorName.clear();
    m_deviceName.clear();
}

} // namespace Brask
