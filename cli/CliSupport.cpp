#include "cli/Commands.h"

#include "core/ProjectManager.h"
#include "core/Startup.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <cstdio>

namespace Cli {

void printError(const std::string& message)
{
    // A diagnostic may have left its line open.
    Brask::diagEndLine();
    std::fprintf(stderr, "varbuild-cli: %s\n", message.c_str());
}

bool installationRoot(std::string& root)
{
    root = Brask::getEnv("VARNELDIR");
    const std::string refusal = Brask::rootRefusal(root);
    if (!refusal.empty()) {
        std::fprintf(stderr, "%s\n", refusal.c_str());
        return false;
    }
    return true;
}

std::unique_ptr<Brask::ProjectManager> openProject(const std::string& path, Brask::CommandExecutor* executor)
{
    std::string root;
    if (!installationRoot(root))
        return nullptr;
    if (!Brask::fileExists(path) || Brask::isDirectory(path)) {
        printError("cannot read project " + path);
        return nullptr;
    }
    // The profile database is read only by a command that asks for devices;
    // a broken one ends the process then, as it does for the window.
    auto manager = std::make_unique<Brask::ProjectManager>(root, executor);
    if (!manager->loadProject(path)) {
        printError("cannot read project " + path);
        return nullptr;
    }
    if (manager->lastLoadWasDamaged()) {
        printError("project " + path + " is damaged; only part of it could be read");
        return nullptr;
    }
    // A diagnostic (a damaged bin/config.xml, say) may have left its line open.
    Brask::diagEndLine();
    return manager;
}

} // namespace Cli
