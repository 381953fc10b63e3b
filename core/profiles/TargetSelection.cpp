#include "core/profiles/TargetSelection.h"

namespace Brask {

Vector<const Device*> selectTargets(const ProfileDatabase& database,
                                    const Vector<std::unique_ptr<Criterion>>& criteria)
{
    Vector<const Device*> targets;
    for (const auto& vendor : database.getVendors()) {
        for (const auto& device : vendor->getDevices()) {
            bool selected = true;
            for (const auto& criterion : criteria) {
                if (criterion && !criterion->evaluate(*device)) {
                    selected = false;
                    break;
                }
            }
            if (selected)
                targets.push_back(device.get());
        }
    }
    return targets;
}

} // namespace Brask
