#include "core/Startup.h"

#include "util/PathUtil.h"

#include <cstdlib>
#include <unistd.h>

namespace Brask {

using KVUtil::String;
using KVUtil::findLast;
using KVUtil::substr;

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

String kitAroundProgram(const String& programDirectory)
{
    const long slash = findLast(programDirectory, '/');
    if (slash < 0 || substr(programDirectory, slash + 1) != "bin")
        return String();
    const String kit = slash == 0 ? String("/") : substr(programDirectory, 0, slash);
    const String marker = (kit == "/" ? String() : kit) + "/profiles/vendors/definitions.txt";
    return fileExists(marker) ? kit : String();
}

String rootNotFoundMessage(const String& programDirectory)
{
    return "Error: The VARNELDIR has not been set, and this program (in " + programDirectory
        + ") is not in the bin directory of a kit. Set VARNELDIR to the directory the kit is installed in, the one "
          "holding bin/ and profiles/: for example, add the line\n    export VARNELDIR=$HOME/varnel\nto ~/.profile "
          "and log in again, so that programs started from the desktop see it too.";
}

bool prepareStartup(int argc, char** argv, StartupInfo& info, const String& programDirectory)
{
    info.root = getEnv("VARNELDIR");
    info.projectPath.clear();
    info.refusal.clear();
    if (info.root.empty()) {
        info.root = kitAroundProgram(programDirectory);
        if (info.root.empty()) {
            info.refusal = rootNotFoundMessage(programDirectory);
            return false;
        }
        ::setenv("VARNELDIR", info.root.c_str(), 1);
    }
    info.refusal = rootRefusal(info.root);
    if (!info.refusal.empty())
        return false;
    if (argc > 1 && argv[1] && argv[1][0])
        info.projectPath = absoluteDirectory(argv[1]) + fileNamePart(argv[1]);
    // A missing bin directory is left to the parts that read from it.
    if (::chdir((info.root + "/bin").c_str()) != 0) {
    }
    return true;
}

} // namespace Brask
