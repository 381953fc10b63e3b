#pragma once
// One numeric constant of a device profile (screen size, heap size...).

#include "kvutil/KVUtil.h"

#include <utility>

namespace Brask {

using KVUtil::String;

class DeviceConstant {
public:
    DeviceConstant(String name, int value)
        : m_name(std::move(name))
        , m_value(value)
    {
    }

    // Display name from definitions.txt, for example "ScreenSize/X,pixels".
    const String& getName() const { return m_name; }
    int getValue() const { return m_value; }

private:
    String m_name;
    int m_value;
};

} // namespace Brask
