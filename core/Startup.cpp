#include "core/Startup.h"

#include "util/PathUtil.h"

#include <unistd.h>

namespace Brask {

const char* const MissingRootMessage = "Error: The VARNELDIR has not been set. Please reinstall Varnel.";

bool prepareStartup(int argc, char** argv, StartupInfo& info)
{
    info.root = getEnv("VARNELDIR");
    info.projectPath.clear();
    // An empty root would put the configuration into the system's /bin.
    if (info.root.empty())
        return false;
    if (argc > 1 && argv[1] && argv[1][0])
        info.projectPath = absoluteDirectory(argv[1]) + fileNamePart(argv[1]);
    // A missing bin directory is left to the parts that read from it.
    if (::chdir((info.root + "/bin").c_str()) != 0) {
    }
    return true;
}

} // namespace Brask
