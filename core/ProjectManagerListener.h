#pragma once

namespace Brask {

// Told after the core has replaced the open project (create, load, import):
// every listener's settingsChanged, then every listener's criteriaChanged.
class ProjectManagerListener {
public:
    virtual ~ProjectManagerListener() = default;
    virtual void settingsChanged() {}
    virtual void criteriaChanged() {}
};

} // namespace Brask
