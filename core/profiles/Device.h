#pragma once
// One phone model of the profile database: its runtime, its features and bugs
// (one list: criteria test both alike) and its numeric constants.

#include "core/profiles/DeviceConstant.h"
#include "kvutil/KVUtil.h"

#include <cstdint>
#include <memory>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class Vendor;

class Device {
public:
    Device(String name, const Vendor* vendor);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const String& getName() const { return m_name; }
    // First line of runtime.txt as stored, e.g. "profiles\runtimes\1".
    const String& getRuntime() const { return m_runtime; }
    const Vendor* getVendor() const { return m_vendor; }
    // Display names of features and bugs in profile.h order, duplicates kept.
    const Vector<String>& getFeatures() const { return m_features; }
    const Vector<std::unique_ptr<DeviceConstant>>& getConstants() const { return m_constants; }

    // Exact, case-sensitive match against the feature list.
    bool hasFeature(const String& display) const;
    // Value of the first constant named `display`, or -1 when there is none
    // (so a stored -1 reads as absent).
    int getConstant(const String& display) const;

    // Filled by the database loader (and by tests that build a database).
    void setRuntime(const String& runtime) { m_runtime = runtime; }
    void addFeature(const String& display);
    void addConstant(const String& display, int value);

private:
    String m_name;
    String m_runtime;
    const Vendor* m_vendor;
    Vector<String> m_features;
    Vector<std::unique_ptr<DeviceConstant>> m_constants;
    // Short hashes of the names above, index for index: the scans compare
    // these first and look at the text only when they agree. Target
    // selection runs every criterion over every device, so this matters.
    Vector<uint32_t> m_featureHashes;
    Vector<uint32_t> m_constantHashes;
};

} // namespace Brask
