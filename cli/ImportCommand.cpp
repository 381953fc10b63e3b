#include "cli/Commands.h"

#include "core/ProjectManager.h"
#include "util/PathUtil.h"

#include <cstdio>

namespace Cli {

namespace {

// The output name comes from the imported file's text: a name that would lead
// out of the directory (or is empty) falls back to the .vcproj's own stem.
std::string outputName(const std::string& projectName, const std::string& vcprojPath)
{
    if (!projectName.empty() && projectName != "." && projectName != ".."
        && projectName.find('/') == std::string::npos)
        return projectName;
    std::string stem = Brask::fileNamePart(vcprojPath);
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos && dot > 0)
        stem.erase(dot);
    return stem;
}

} // namespace

int runImportCommand(const std::vector<std::string>& args)
{
    if (args.empty() || args.size() > 2) {
        printError("usage: varbuild-cli import FILE.vcproj [OUT.vnp]");
        return 1;
    }
    std::string root;
    if (!installationRoot(root))
        return 1;

    const std::string input = args[0];
    if (!Brask::fileExists(input) || Brask::isDirectory(input)) {
        printError("cannot read " + input);
        return 1;
    }
    Brask::ProjectManager manager(root, nullptr);
    // Nothing may touch the project between the import and the write: even a
    // property read would add a key to the file.
    if (!manager.importVcproj(input)) {
        printError(input + " is not a Visual C++ 2005 project (no project could be read from it)");
        return 1;
    }
    const Brask::Project& project = *manager.getProject();
    const std::string output = args.size() == 2
        ? args[1]
        : Brask::absoluteDirectory(input) + outputName(project.getName(), input) + ".vnp";
    if (manager.lastLoadWasDamaged())
        printError("warning: " + input + " could be read only in part; the project holds what was read");
    std::string error;
    if (!manager.writeProject(output, &error)) {
        printError("cannot write " + output + ": " + error);
        return 1;
    }
    std::printf("%s\n", output.c_str());
    return 0;
}

} // namespace Cli
