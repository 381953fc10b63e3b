#include "cli/Commands.h"

#include "core/ProjectManager.h"
#include "core/project/ProjectRelocation.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <cstdio>
#include <sys/stat.h>

namespace Cli {

namespace {

// The output name comes from the imported file's text: a name that would lead
// out of the directory (or is empty) falls back to the project file's own
// stem.
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
    std::vector<std::string> files;
    bool force = false;
    for (const std::string& arg : args) {
        if (arg == "--force")
            force = true;
        else
            files.push_back(arg);
    }
    if (files.empty() || files.size() > 2) {
        printError("usage: varbuild-cli import FILE.vcxproj|FILE.vcproj [OUT.vnp] [--force]");
        return 1;
    }
    std::string root;
    if (!installationRoot(root))
        return 1;

    const std::string input = files[0];
    if (!Brask::fileExists(input) || Brask::isDirectory(input)) {
        printError("cannot read " + input);
        return 1;
    }
    Brask::ProjectManager manager(root, nullptr);
    // Nothing may touch the project between the import and the write: even a
    // property read would add a key to the file.
    Brask::VisualStudioImport report;
    if (!manager.importVisualStudio(input, &report)) {
        printError(report.refusal);
        return 1;
    }
    printError("read " + input + ": " + report.format);
    for (const std::string& note : report.notes)
        printError("note: " + note);
    Brask::Project& project = *manager.getProject();
    const std::string output = files.size() == 2
        ? files[1]
        : Brask::absoluteDirectory(input) + outputName(project.getName(), input) + ".vnp";
    struct stat st;
    if (!force && ::lstat(output.c_str(), &st) == 0) {
        printError(output + " already exists; use --force to replace it");
        return 1;
    }
    if (manager.lastLoadWasDamaged())
        printError("warning: " + input + " could be read only in part; the project holds what was read");
    // The Visual C++ paths are relative to the project file; the project's must be
    // relative to the file it is saved in.
    Brask::relocateProject(project, Brask::absoluteDirectory(output));
    std::string error;
    if (!manager.writeProject(output, &error)) {
        // The reason already names the file.
        printError(error);
        return 1;
    }
    Brask::diagEndLine();
    std::printf("%s\n", output.c_str());
    return 0;
}

} // namespace Cli
