#include "core/Startup.h"

#include "util/PathUtil.h"

#include <unistd.h>

namespace Brask {

using KVUtil::String;

const char* const MissingRootMessage = "Error: The VARNELDIR has not been set. Please reinstall Varnel.";

String rootRefusal(const String& root)
{
    // An empty root would put the configuration into the system's /bin.
    if (root.empty())
        return MissingRootMessage;
    for (unsigned char c : root) {
        if (c == ';' || c == '"' || c < 0x20 || c == 0x7f)
            return "Error: The VARNELDIR \"" + root
                + "\" holds a character that the kit's paths cannot carry (a \";\", a \"\"\" or a control "
                  "character). Please install Varnel in a directory whose path has none of them.";
    }
    return String();
}

bool prepareStartup(int argc, char** argv, StartupInfo& info)
{
    info.root = getEnv("VARNELDIR");
    info.projectPath.clear();
    if (!rootRefusal(info.root).empty())
        return false;
    if (argc > 1 && argv[1] && argv[1][0])
        info.projectPath = absoluteDirectory(argv[1]) + fileNamePart(argv[1]);
    // A missing bin directory is left to the parts that read from it.
    if (::chdir((info.root + "/bin").c_str()) != 0) {
    }
    return true;
}

} // namespace Brask
