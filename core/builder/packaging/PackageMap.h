#pragma once
// Which package each target device gets: for a Java ME build one JAR per
// runtime, in the order the build packages them, with the devices that use
// it; for a project with a Symbian UID the one SIS and no JAR. Computed on
// demand from the loaded database and the open project; nothing is cached.

#include "kvutil/KVUtil.h"

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class Device;
class Project;
class ProjectManager;

struct RuntimePackage {
    String runtime;    // as runtime.txt states it, e.g. profiles\runtimes\2
    String identifier; // its last component; empty for an empty runtime
    String jarPath;    // the JAR exactly as the build forms it
    Vector<const Device*> devices; // in target order
};

struct PackageMap {
    // The project carries a Symbian UID: the build makes the SIS below and
    // no JAR at all, whatever the targets.
    bool symbian = false;
    String uid;
    bool uidValid = false; // false: the build stops at "Bad UID"
    String sisPath;
    // Java ME packages in packaging order (empty for a Symbian project).
    Vector<RuntimePackage> packages;
    // All target devices, in target order.
    Vector<const Device*> targets;

    // The JAR `device` gets; nullptr for a Symbian project and for a device
    // that is not a target.
    const RuntimePackage* packageFor(const Device* device) const;
    // The path of what `device` receives (its JAR, or the SIS of a Symbian
    // project); empty when it is not a target.
    String packagePathFor(const Device* device) const;
};

// The map for `project` with `targets` (the devices its criteria select).
PackageMap buildPackageMap(const Project& project, const Vector<const Device*>& targets);
// The map for the open project of `manager`; empty without a project.
PackageMap buildPackageMap(const ProjectManager& manager);

} // namespace Brask
