#include "core/profiles/Device.h"

#include <functional>

namespace Brask {

namespace {

uint32_t nameHash(const String& name)
{
    return static_cast<uint32_t>(std::hash<String>()(name));
}

} // namespace

Device::Device(String name, const Vendor* vendor)
    : m_name(std::move(name))
    , m_vendor(vendor)
{
}

Device::~Device() = default;

bool Device::hasFeature(const String& display) const
{
    const uint32_t hash = nameHash(display);
    for (size_t i = 0; i < m_features.size(); ++i) {
        if (m_featureHashes[i] == hash && m_features[i] == display)
            return true;
    }
    return false;
}

int Device::getConstant(const String& display) const
{
    const uint32_t hash = nameHash(display);
    for (size_t i = 0; i < m_constants.size(); ++i) {
        if (m_constantHashes[i] == hash && m_constants[i]->getName() == display)
            return m_constants[i]->getValue();
    }
    return -1;
}

void Device::addFeature(const String& display)
{
    m_features.push_back(display);
    m_featureHashes.push_back(nameHash(display));
}

void Device::addConstant(const String& display, int value)
{
    m_constants.push_back(std::make_unique<DeviceConstant>(display, value));
    m_constantHashes.push_back(nameHash(display));
}

} // namespace Brask
