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
    if (root.empty()) {
        std::fprintf(stderr, "%s\n", Brask::MissingRootMessage);
        return false;
    }
    return true;
}

} // namespace Cli
