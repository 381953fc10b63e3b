#include "core/builder/packaging/PackageMap.h"

#include "core/project/Project.h"
#include "core/ProjectManager.h"
#include "core/builder/BuildSupport.h"
#include "core/builder/packaging/JavaMePackager.h"
#include "core/builder/packaging/SymbianPackager.h"
#include "core/profiles/Device.h"
#include "util/PathUtil.h"

#include <algorithm>

namespace Brask {

const RuntimePackage* PackageMap::packageFor(const Device* device) const
{
    if (!device)
        return nullptr;
    for (const RuntimePackage& package : packages) {
        if (package.runtime == device->getRuntime()
            && std::find(package.devices.begin(), package.devices.end(), device) != package.devices.end())
            return &package;
    }
    return nullptr;
}

String PackageMap::packagePathFor(const Device* device) const
{
    if (symbian)
        return std::find(targets.begin(), targets.end(), device) != targets.end() ? sisPath : String();
    const RuntimePackage* package = packageFor(device);
    return package ? package->jarPath : String();
}

PackageMap buildPackageMap(const Project& project, const Vector<const Device*>& targets)
{
    PackageMap map;
    map.targets = targets;
    map.uid = project.peekProperty("S60v3UID");
    const String name = project.getName();
    if (!map.uid.empty()) {
        // The Symbian tools run in the work directory "so" of the project
        // directory and leave NAME.sis there.
        map.symbian = true;
        map.uidValid = SymbianPackager::isValidUid(map.uid);
        map.sisPath = absoluteDirectory(project.getDirectory() + "/") + "so/" + name + ".sis";
        return map;
    }

    const String outputDir = outputDirectory(project);
    for (const String& runtime : JavaMePackager::packagingOrder(targets)) {
        RuntimePackage package;
        package.runtime = runtime;
        package.identifier = JavaMePackager::runtimeIdentifier(runtime);
        package.jarPath = JavaMePackager::jarPath(outputDir, name, runtime);
        for (const Device* device : targets) {
            if (device->getRuntime() == runtime)
                package.devices.push_back(device);
        }
        map.packages.push_back(std::move(package));
    }
    return map;
}

PackageMap buildPackageMap(const ProjectManager& manager)
{
    const Project* project = manager.getProject();
    return project ? buildPackageMap(*project, manager.getTargetDevices()) : PackageMap();
}

} // namespace Brask
