// varbuild-cli targets PROJECT.vnp: lists the devices the project's criteria
// select from the installation's profile database.

#include "cli/Commands.h"
#include "cli/TargetsReport.h"

#include "core/ProjectManager.h"
#include "core/profiles/Vendor.h"
#include "util/Diagnostics.h"

#include <cstdio>

namespace Cli {

int runTargetsCommand(const std::vector<std::string>& args)
{
    if (isTargetsReport(args))
        return runTargetsReport(args);
    if (args.size() != 1) {
        printError("usage: varbuild-cli targets PROJECT.vnp");
        return 1;
    }
    const std::unique_ptr<Brask::ProjectManager> opened = openProject(args[0], nullptr);
    if (!opened)
        return 1;
    Brask::ProjectManager& manager = *opened;
    for (const Brask::Device* device : manager.getTargetDevices()) {
        const Brask::Vendor* vendor = device->getVendor();
        std::printf("%s\t%s\t%s\n", vendor ? vendor->getName().c_str() : "", device->getName().c_str(),
                    device->getRuntime().c_str());
    }
    std::fflush(stdout);
    return 0;
}

} // namespace Cli
