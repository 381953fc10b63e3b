#include "core/build/BuildDriver.h"

#include "core/Project.h"
#include "core/ProjectManager.h"
#include "core/build/BuildSupport.h"
#include "core/build/ParallelCompile.h"
#include "core/build/CommandExecutor.h"
#include "util/Diagnostics.h"
#include "util/PathUtil.h"

#include <ctime>
#include <unistd.h>

namespace Brask {

namespace {

// The file name of `path` up to its last ".".
String stemOf(const String& path)
{
    const size_t slash = path.rfind('/');
    String name = slash == String::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != String::npos)
        name.erase(dot);
    return name;
}

String completionLine()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char text[64] = "";
    if (!localtime_r(&now, &local) || !asctime_r(&local, text))
        return "Build complete, time: \n";
    return String("Build complete, time: ") + text;
}

} // namespace

int ProjectManager::build()
{
    return BuildDriver(*this).run();
}

BuildDriver::BuildDriver(ProjectManager& manager)
    : m_manager(manager)
{
}

String BuildDriver::assemblyPath(const String& source)
{
    const String stem = stemOf(source);
    String name = stem;
    for (int n = 2; m_assemblyNames.count(name); ++n)
        name = stem + "_" + std::to_string(n);
    m_assemblyNames.insert(name);
    return m_outputDir + "/" + name + ".s";
}

String BuildDriver::compilerFlags(Project& project) const
{
    String flags = "-S -O2 -Wno-unused-parameter ";
    if (isTrue(project.getProperty("Werror")))
        flags += "-Werror ";
    if (isTrue(project.getProperty("Wall")))
        flags += "-Wall ";
    if (isTrue(project.getProperty("Wextra")))
        flags += "-Wextra -Wwrite-strings ";
    return flags;
}

namespace {

// One option per directory, `option` joined to it and a blank after it. An
// empty entry (a doubled or trailing ";") is skipped: the bare option would
// make the tool take the next option as the directory. `fromProject`: the
// list comes from the project (imported projects carry backslashes), not
// from the installation's configuration.
void appendDirectoryOptions(String& line, const char* option, const Vector<String>& directories, bool fromProject)
{
    for (const String& dir : directories) {
        if (!dir.empty())
            line += commandPath(option + (fromProject ? toSlashes(dir) : dir)) + " ";
    }
}

} // namespace

String BuildDriver::includeOptions(Project& project) const
{
    String includes;
    if (!isTrue(project.getProperty("ignoreDefaultIncludeDirectories")))
        appendDirectoryOptions(includes, "-I", m_manager.getConfig().includeDirectories, false);
    const String additional = project.getProperty("additionalIncludeDirectories");
    if (!additional.empty())
        appendDirectoryOptions(includes, "-I", split(additional, ";"), true);
    return includes;
}

String BuildDriver::libraryPart(Project& project, const Vector<String>& assembly,
                                const Vector<String>& projectAssembly) const
{
    const Config& config = m_manager.getConfig();
    String part;
    if (!isTrue(project.getProperty("ignoreDefaultLibraryDirectories")))
        appendDirectoryOptions(part, "-s", config.libraryDirectories, false);
    const String additionalDirs = project.getProperty("additionalLibraryDirectories");
    if (!additionalDirs.empty())
        appendDirectoryOptions(part, "-s", split(additionalDirs, ";"), true);
    if (project.getProperty("deadCodeElim") == "true")
        part += "-elim ";
    const String configType = project.getProperty("configType");
    if (configType == "lib")
        part += "-L " + commandPath(toSlashes(project.getProperty("outputPath"))) + " ";
    else if (configType == "app")
        part += "-B " + commandPath(m_program) + " ";
    for (const String& asmPiece : assembly)
        part += asmPiece + " ";
    for (const String& file : projectAssembly)
        part += commandPath(file) + " ";
    if (!isTrue(project.getProperty("ignoreDefaultLibraries")) && configType != "lib") {
        for (const String& library : config.defaultLibraries)
            part += commandPath(library) + " ";
    }
    const String dependencies = project.getProperty("additionalDependencies");
    if (!dependencies.empty()) {
        for (const String& library : split(dependencies, " ")) {
            if (library != "KVLib.lib")
                part += commandPath(toSlashes(library)) + " ";
        }
    }
    return part;
}

int BuildDriver::checkLibraryOutput(Project& project) const
{
    if (project.getProperty("configType") != "lib")
        return 0;
    // lintel writes the library where -L points; without a path it would take
    // the first assembly file as the library and write over it.
    const String outputPath = project.getProperty("outputPath");
    if (outputPath.empty()) {
        showMessage(m_manager, "The library has no output path: set one in the project settings.\n");
        return -1;
    }
    const String target = toSlashes(outputPath);
    const String absolute = target[0] == '/' ? target : project.getDirectory() + target;
    const String resolved = absoluteDirectory(absolute) + fileNamePart(absolute);
    for (FileKind kind : {OtherFile, SourceFile, ResourceList, AssemblyFile}) {
        Vector<String> files;
        m_manager.collectFiles(kind, files);
        for (const String& file : files) {
            if (absoluteDirectory(file) + fileNamePart(file) == resolved) {
                showMessage(m_manager, "The library's output path \"" + outputPath
                                           + "\" is a file of the project: choose another in the project settings.\n");
                return -1;
            }
        }
    }
    return 0;
}

int BuildDriver::run()
{
    Project* project = m_manager.getProject();
    if (!project)
        return 1;

    const String& projectDir = project->getDirectory();
    // Tools run in the project directory; running them anywhere else would
    // scatter rebuild.s and relative outputs, so a missing directory ends here.
    if (::chdir(projectDir.c_str()) != 0) {
        showMessage(m_manager, "Can't enter \"" + projectDir + "\"\n");
        return -1;
    }

    m_outputDir = outputDirectory(*project);
    m_program = m_outputDir + "/program";
    m_resources = m_outputDir + "/resources";
    m_assemblyNames.clear();
    if (int refused = checkLibraryOutput(*project))
        return refused;
    const String extraResourcer = project->getProperty("extraResourcer");
    const String extraLinker = project->getProperty("extraLinker");

    String resourceCommand = "lintel " + extraResourcer + " -R " + commandPath(m_resources) + " ";
    String linkCommand = "lintel  " + extraLinker + " ";

    Vector<String> sources, resourceLists, projectAssembly;
    m_manager.collectFiles(SourceFile, sources);
    m_manager.collectFiles(ResourceList, resourceLists);
    m_manager.collectFiles(AssemblyFile, projectAssembly);

    const String flags = compilerFlags(*project);
    const String defines = "-DKVPIP " + project->getProperty("extraCmd");
    const String includes = includeOptions(*project);

    // The result is ignored: Output normally exists from an earlier build.
    if (m_manager.getExecutor())
        runTool(m_manager, "cmd /c mkdir " + commandPath(m_outputDir));

    if (!resourceLists.empty()) {
        diag("Building resources\n");
        for (const String& list : resourceLists)
            resourceCommand += " " + commandPath(list);
        if (int result = runTool(m_manager, resourceCommand))
            return result;
    }

    const String compiler = commandPath(m_manager.getRoot() + "/bin/xgcc") + " ";
    Vector<String> assembly;
    auto* parallel = dynamic_cast<ParallelExecutor*>(m_manager.getExecutor());
    if (parallel && parallel->jobs() > 1 && sources.size() > 1) {
        Vector<String> compiles, written;
        for (const String& source : sources) {
            written.push_back(assemblyPath(source));
            const String asmPiece = commandPath(written.back()) + " ";
            compiles.push_back(compiler + "-g -o " + asmPiece + flags + includes + defines + " " + commandPath(source));
            assembly.push_back(asmPiece);
        }
        if (int result = runInOrder(*parallel, compiles, written))
            return result;
    } else {
        for (const String& source : sources) {
            const String asmPiece = commandPath(assemblyPath(source)) + " ";
            const String command = compiler + "-g -o " + asmPiece + flags + includes + defines + " " + commandPath(source);
            if (int result = runTool(m_manager, command))
                return result;
            assembly.push_back(asmPiece);
        }
    }

    linkCommand += libraryPart(*project, assembly, projectAssembly);
    if (int result = runTool(m_manager, linkCommand))
        return result;

    if (project->getProperty("deadCodeElim") == "true") {
        const String secondPass = "lintel -no-verify " + extraLinker + " -B " + commandPath(m_program) + " "
            + commandPath(projectDir + "/rebuild.s");
        if (int result = runTool(m_manager, secondPass))
            return result;
    }

    if (project->getProperty("configType") == "lib")
        return 0;
    if (stopRequested(m_manager))
        return kStoppedResult;

    const int packaged = project->getProperty("S60v3UID").empty()
        ? m_manager.packageJavaMe(!resourceLists.empty())
        : m_manager.packageSymbian();
    if (packaged)
        return packaged;

    showMessage(m_manager, completionLine());
    return 0;
}

} // namespace Brask
