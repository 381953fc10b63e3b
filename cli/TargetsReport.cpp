// varbuild-cli targets --packages PROJECT.vnp: which package each target
// device gets. varbuild-cli targets --why VENDOR DEVICE PROJECT.vnp: why one
// device is not a target, or which package it gets when it is.

#include "cli/TargetsReport.h"

#include "cli/Commands.h"
#include "core/ProjectManager.h"
#include "core/builder/packaging/PackageMap.h"
#include "core/profiles/TargetExplanation.h"
#include "core/profiles/Vendor.h"
#include "util/Diagnostics.h"

#include <cstdio>
#include <memory>

namespace Cli {

namespace {

const char* const PackagesUsage = "usage: varbuild-cli targets --packages PROJECT.vnp";
const char* const WhyUsage = "usage: varbuild-cli targets --why VENDOR DEVICE PROJECT.vnp";

std::string vendorOf(const Brask::Device* device)
{
    return device->getVendor() ? device->getVendor()->getName() : std::string();
}

std::string plural(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

void printSymbian(const Brask::PackageMap& map)
{
    std::printf("SIS %s (Symbian UID %s)\n", map.sisPath.c_str(), map.uid.c_str());
    std::printf("No JAR is made: the project has a Symbian UID.\n");
    if (!map.uidValid)
        std::printf("The build stops at \"Bad UID\": the UID must be 0x and eight hexadecimal digits.\n");
}

int printPackages(const std::string& path)
{
    const std::unique_ptr<Brask::ProjectManager> manager = openProject(path, nullptr);
    if (!manager)
        return 1;
    const Brask::PackageMap map = Brask::buildPackageMap(*manager);
    if (map.symbian) {
        printSymbian(map);
        std::printf("Total: %s meet the criteria\n", plural(map.targets.size(), "device", "devices").c_str());
    } else {
        for (const Brask::RuntimePackage& package : map.packages) {
            std::printf("JAR %s (runtime %s, %s)\n", package.jarPath.c_str(), package.runtime.c_str(),
                        plural(package.devices.size(), "device", "devices").c_str());
            for (const Brask::Device* device : package.devices)
                std::printf("\t%s\t%s\n", vendorOf(device).c_str(), device->getName().c_str());
        }
        if (map.packages.empty())
            std::printf("No JAR is made: no device meets the criteria.\n");
        std::printf("Total: %s, %s\n", plural(map.targets.size(), "device", "devices").c_str(),
                    plural(map.packages.size(), "JAR", "JARs").c_str());
    }
    std::fflush(stdout);
    return 0;
}

int printWhy(const std::string& vendor, const std::string& name, const std::string& path)
{
    const std::unique_ptr<Brask::ProjectManager> manager = openProject(path, nullptr);
    if (!manager)
        return 1;
    const Brask::Device* device = manager->getProfileDatabase().findDevice(vendor, name);
    if (!device) {
        printError("no device \"" + name + "\" of vendor \"" + vendor + "\" in the profile database");
        return 1;
    }
    const Brask::CriterionList& criteria = manager->getProject()->getCriteria();
    const int rejectedBy = Brask::firstRejecting(*device, criteria);
    if (rejectedBy >= 0) {
        std::printf("%s %s is not a target: %s\n", vendor.c_str(), name.c_str(),
                    Brask::rejectionLine(*device, criteria, rejectedBy).c_str());
    } else {
        const Brask::PackageMap map = Brask::buildPackageMap(*manager);
        if (map.symbian) {
            std::printf("%s %s is a target: it gets the SIS %s%s\n", vendor.c_str(), name.c_str(),
                        map.sisPath.c_str(), map.uidValid ? "" : " (but the build stops at \"Bad UID\")");
        } else if (const Brask::RuntimePackage* package = map.packageFor(device)) {
            std::printf("%s %s is a target: it gets %s (runtime %s)\n", vendor.c_str(), name.c_str(),
                        package->jarPath.c_str(), package->runtime.c_str());
        }
    }
    std::fflush(stdout);
    return 0;
}

} // namespace

bool isTargetsReport(const std::vector<std::string>& args)
{
    return !args.empty() && (args[0] == "--packages" || args[0] == "--why");
}

int runTargetsReport(const std::vector<std::string>& args)
{
    if (args.at(0) == "--packages") {
        if (args.size() != 2) {
            printError(PackagesUsage);
            return 1;
        }
        return printPackages(args[1]);
    }
    if (args.size() != 4) {
        printError(WhyUsage);
        return 1;
    }
    return printWhy(args[1], args[2], args[3]);
}

} // namespace Cli
