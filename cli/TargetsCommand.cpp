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
    std::string root;
    if (!installationRoot(root))
        return 1;

    // A broken profile database ends the process here, as it does for the window.
    Brask::ProjectManager manager(root, nullptr);
    if (!manager.loadProject(args[0])) {
        printError("cannot read project " + args[0]);
        return 1;
    }
    // The criteria of the part that could not be read are missing: the list
    // would name devices the project does not target.
    if (manager.lastLoadWasDamaged()) {
        printError("project " + args[0] + " is damaged; only part of it could be read");
        return 1;
    }
    // A diagnostic (a damaged bin/config.xml, say) may have left its line open.
    Brask::diagEndLine();
    for (const Brask::Device* device : manager.getTargetDevices()) {
        const Brask::Vendor* vendor = device->getVendor();
        std::printf("%s\t%s\t%s\n", vendor ? vendor->getName().c_str() : "", device->getName().c_str(),
                    device->getRuntime().c_str());
    }
    std::fflush(stdout);
    return 0;
}

} // namespace Cli
