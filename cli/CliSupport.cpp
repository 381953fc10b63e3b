#include "cli/Commands.h"

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

} // namespace Cli
