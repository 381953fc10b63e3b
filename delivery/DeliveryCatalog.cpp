#include "delivery/DeliveryCatalog.h"

#include "core/ProjectManager.h"
#include "core/builder/packaging/JadFile.h"
#include "core/builder/packaging/PackageMap.h"
#include "core/profiles/Device.h"
#include "core/profiles/Vendor.h"
#include "core/project/Project.h"
#include "core/project/ProjectItem.h"
#include "util/PathUtil.h"

#include <sys/stat.h>

namespace Delivery {

namespace {

bool regularFile(const std::string& path, struct stat* info = nullptr)
{
    struct stat own{};
    struct stat& st = info ? *info : own;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool newer(const struct stat& a, const struct stat& b)
{
    return a.st_mtim.tv_sec != b.st_mtim.tv_sec ? a.st_mtim.tv_sec > b.st_mtim.tv_sec
                                                : a.st_mtim.tv_nsec > b.st_mtim.tv_nsec;
}

// The project's source files as paths, depth first.
std::vector<std::string> sourcePaths(const Brask::Project& project)
{
    std::vector<std::string> paths;
    std::vector<const Brask::ProjectItem*> pending = {project.getRoot()};
    while (!pending.empty()) {
        const Brask::ProjectItem* item = pending.back();
        pending.pop_back();
        if (item->getType() == Brask::ProjectItem::FileKind) {
            const std::string stored = Brask::toSlashes(static_cast<const Brask::Sourcefile*>(item)->getPath());
            paths.push_back(!stored.empty() && stored[0] == '/' ? stored : project.getDirectory() + stored);
        }
        for (const auto& child : item->getChildren())
            pending.push_back(child.get());
    }
    return paths;
}

} // namespace

DeliveryCatalog deliveryCatalog(const Brask::ProjectManager& manager)
{
    DeliveryCatalog catalog;
    const Brask::Project* project = manager.getProject();
    if (!project)
        return catalog;
    const Brask::PackageMap map = Brask::buildPackageMap(manager);
    catalog.projectName = project->getName();
    catalog.outputDir = project->getDirectory() + "Output";
    catalog.symbian = map.symbian;
    for (const Brask::RuntimePackage& runtime : map.packages) {
        const std::string& id = runtime.identifier;
        if (id.empty() || id == "." || id == "..") {
            catalog.unservable.push_back(runtime.runtime);
            continue;
        }
        DeliveryPackage package;
        package.identifier = id;
        package.jarPath = runtime.jarPath;
        package.jadPath = Brask::jadPathFor(runtime.jarPath);
        for (const Brask::Device* device : runtime.devices) {
            const Brask::Vendor* vendor = device->getVendor();
            package.devices.push_back((vendor ? vendor->getName() + " " : std::string()) + device->getName());
        }
        catalog.packages.push_back(std::move(package));
    }
    return catalog;
}

bool isBuilt(const DeliveryPackage& package)
{
    return regularFile(package.jarPath) && regularFile(package.jadPath);
}

bool needsBuild(const DeliveryCatalog& catalog, const Brask::ProjectManager& manager)
{
    const Brask::Project* project = manager.getProject();
    if (!project || catalog.packages.empty())
        return true;
    std::vector<struct stat> jars;
    for (const DeliveryPackage& package : catalog.packages) {
        struct stat jar{};
        if (!regularFile(package.jarPath, &jar) || !regularFile(package.jadPath))
            return true;
        jars.push_back(jar);
    }
    const std::vector<std::string> inputs = sourcePaths(*project);
    for (const std::string& input : inputs) {
        struct stat source{};
        if (::stat(input.c_str(), &source) != 0)
            continue;
        for (const struct stat& jar : jars)
            if (newer(source, jar))
                return true;
    }
    return false;
}

} // namespace Delivery
