#include "core/Startup.h"

#include "util/PathUtil.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

bool prepareStartup(const String& projectArgument, StartupInfo& info, const String& programDirectory)
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
    if (!projectArgument.empty())
        info.projectPath = absoluteDirectory(projectArgument) + fileNamePart(projectArgument);
    // A missing bin directory is left to the parts that read from it.
    if (::chdir((info.root + "/bin").c_str()) != 0) {
    }
    return true;
}

StartupArguments readStartupArguments(int argc, char** argv)
{
    StartupArguments arguments;
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc && argv[i]; ++i) {
        const String word = argv[i];
        if (word == "-h" || word == "--help") {
            help = true;
        } else if (word == "--version") {
            version = true;
        } else if (word[0] == '-') {
            if (arguments.refusal.empty())
                arguments.refusal = "varbuild: unknown option \"" + word
                    + "\" (a project file whose name starts with \"-\" is opened as ./" + word + ")";
        } else if (arguments.project.empty()) {
            arguments.project = word;
        }
    }
    if (!arguments.refusal.empty())
        arguments.action = StartupArguments::Action::BadOption;
    else if (help)
        arguments.action = StartupArguments::Action::Help;
    else if (version)
        arguments.action = StartupArguments::Action::Version;
    return arguments;
}

String projectFileProblem(const String& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::strerror(errno);
    if (S_ISDIR(info.st_mode))
        return "it is a directory";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::strerror(errno);
    ::close(fd);
    return String();
}

String unreadableProjectMessage(const String& path, const String& problem)
{
    return "The project " + path + " cannot be opened (" + problem + "). VarBuild starts without a project.";
}

} // namespace Brask
