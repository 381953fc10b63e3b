#pragma once

#include "core/profiles/ProfileDatabase.h"
#include "kvutil/KVUtil.h"

namespace Brask {

using KVUtil::String;

// A non-owning reference to a device that notices database reloads: get()
// gives nullptr once the database has been reloaded since the reference was
// taken, instead of a dangling pointer. resolve() looks the device up again
// by its vendor and device names.
class DeviceRef {
public:
    DeviceRef() = default;
    DeviceRef(const ProfileDatabase& database, const Device* device);

    const Device* get() const;
    bool isStale() const;
    // Re-finds the device by names in the current database; nullptr (and an
    // empty reference) when it is gone.
    const Device* resolve();
    void reset();

    const String& getVendorName() const { return m_vendorName; }
    const String& getDeviceName() const { return m_deviceName; }

private:
    const ProfileDatabase* m_database = nullptr;
    const Device* m_device = nullptr;
    unsigned m_generation = 0;
    String m_vendorName;
    String m_deviceName;
};

} // namespace Brask
