#include "core/builder/BuildDriver.h"

#include "core/project/Project.h"
#include "core/ProjectManager.h"
#include "core/builder/BuildSupport.h"
#include "core/builder/ChangedBuild.h"
#include "core/CommandExecutor.h"
#include "core/builder/DepFile.h"
#include "core/builder/HostCompilers.h"
#include "core/builder/KeptOutputs.h"
#include "core/builder/ParallelCompile.h"
#include "platform/CommandLine.h"
#include "platform/ProgramSearch.h"
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

// A path as the tools see it from the project directory, where they run.
String fromProjectDirectory(const String& projectDir, const String& path)
{
    return !path.empty() && path[0] == '/' ? path : projectDir + path;
}

bool endsWithLib(const String& name)
{
    return name.size() >= 4 && toUpper(name.substr(name.size() - 4)) == ".LIB";
}

} // namespace

int ProjectManager::build()
{
    return BuildDriver(*this).run();
}

int ProjectManager::buildChanged()
{
    return BuildDriver(*this, BuildDriver::Mode::Changed).run();
}

BuildDriver::BuildDriver(ProjectManager& manager, Mode mode)
    : m_manager(manager)
    , m_mode(mode)
{
}

BuildDriver::~BuildDriver() = default;

String BuildDriver::launcherPrefix(const String& launcher)
{
    String prefix;
    for (const std::string& word : Platform::splitCommandLine(launcher))
        prefix += commandPath(word) + " ";
    return prefix;
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
        appendDirectoryOptions(includes, "-I",
                               kitDirectories(m_manager.getRoot(), m_manager.getConfig().includeDirectories), false);
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
        appendDirectoryOptions(part, "-s", kitDirectories(m_manager.getRoot(), config.libraryDirectories), false);
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
    if (m_mode == Mode::Changed)
        m_manager.setChangedSummary(String());
    Project* project = m_manager.getProject();
    if (!project)
        return 1;
    if (m_mode == Mode::Full)
        return runSteps(*project);

    m_changed = std::make_unique<ChangedBuild>(outputDirectory(*project), project->getDirectory(),
                                               [this](const std::string& line) { showMessage(m_manager, line); });
    m_changed->counts.packaging = project->getProperty("configType") != "lib";
    m_manager.setChangedBuild(m_changed.get());
    const int result = runSteps(*project);
    m_manager.setChangedBuild(nullptr);
    m_changed->finish();
    m_manager.setChangedSummary(m_changed->summary());
    showMessage(m_manager, m_changed->summary() + "\n");
    return result;
}

int BuildDriver::runSteps(Project& project)
{
    m_projectDir = project.getDirectory();
    // Tools run in the project directory; running them anywhere else would
    // scatter rebuild.s and relative outputs, so a missing directory ends here.
    if (::chdir(m_projectDir.c_str()) != 0) {
        showMessage(m_manager, "Can't enter \"" + m_projectDir + "\"\n");
        return -1;
    }

    m_outputDir = outputDirectory(project);
    m_program = m_outputDir + "/program";
    m_resources = m_outputDir + "/resources";
    m_assemblyNames.clear();
    if (int refused = checkLibraryOutput(project))
        return refused;
    // Old assembly a killed parallel compile had moved aside.
    settleKeptOutputs(m_outputDir);
    if (m_changed)
        m_changed->open();
    const String extraResourcer = project.getProperty("extraResourcer");
    const String extraLinker = project.getProperty("extraLinker");

    String resourceCommand = "lintel " + extraResourcer + " -R " + commandPath(m_resources) + " ";
    String linkCommand = "lintel  " + extraLinker + " ";

    Vector<String> sources, resourceLists, projectAssembly;
    m_manager.collectFiles(SourceFile, sources);
    m_manager.collectFiles(ResourceList, resourceLists);
    m_manager.collectFiles(AssemblyFile, projectAssembly);

    const String flags = compilerFlags(project);
    const String defines = "-DKVPIP " + project.getProperty("extraCmd");
    const String includes = includeOptions(project);

    // The result is ignored: Output normally exists from an earlier build.
    // Build Changed leaves out what is known to fail.
    if (m_manager.getExecutor() && !(m_changed && isDirectory(m_outputDir)))
        runTool(m_manager, "cmd /c mkdir " + commandPath(m_outputDir));

    if (!resourceLists.empty()) {
        if (int result = buildResources(resourceCommand, resourceLists))
            return result;
    }

    Vector<String> assembly, assemblyFiles;
    if (int result = compileSources(sources, flags + includes + defines, assembly, assemblyFiles))
        return result;

    linkCommand += libraryPart(project, assembly, projectAssembly);
    if (int result = link(project, linkCommand, assemblyFiles, projectAssembly))
        return result;

    if (project.getProperty("configType") == "lib")
        return 0;
    if (stopRequested(m_manager))
        return kStoppedResult;

    const int packaged = project.getProperty("S60v3UID").empty()
        ? m_manager.packageJavaMe(!resourceLists.empty())
        : m_manager.packageSymbian();
    if (packaged)
        return packaged;

    showMessage(m_manager, completionLine());
    return 0;
}

int BuildDriver::buildResources(const String& command, const Vector<String>& lists)
{
    String resourceCommand = command;
    for (const String& list : lists)
        resourceCommand += " " + commandPath(list);
    ChangedBuild::Step step;
    if (m_changed) {
        m_changed->counts.hasResources = true;
        step.key = "resources";
        step.command = resourceCommand;
        step.inputs = {Platform::findProgram("lintel")};
        for (const String& list : lists) {
            step.inputs.push_back(list);
            for (const String& file : ChangedBuild::resourceFiles(list))
                step.inputs.push_back(file);
        }
        step.outputs = {m_resources};
        if (m_changed->upToDate(step)) {
            m_changed->counts.resources = ChangedBuild::Stage::UpToDate;
            return 0;
        }
        m_changed->counts.resources = ChangedBuild::Stage::Ran;
    }
    diag("Building resources\n");
    const ChangedBuild::Clock started = ChangedBuild::now();
    const int result = runTool(m_manager, resourceCommand);
    if (result == 0 && m_changed)
        m_changed->succeeded(step, started);
    return result;
}

int BuildDriver::compileSources(const Vector<String>& sources, const String& compileOptions,
                                Vector<String>& assembly, Vector<String>& assemblyFiles)
{
    const String compilerPath = m_manager.getRoot() + "/bin/xgcc";
    const String compiler = commandPath(compilerPath) + " ";
    const String launcher = launcherPrefix(m_manager.getCompilerLauncher());

    struct Compile {
        String command;
        String assembly;
        String depFile;
        ChangedBuild::Step step;
    };
    Vector<Compile> compiles;
    // What the kit's compiler hands the compiles to is part of what each
    // compile read.
    std::vector<std::string> compilers = {compilerPath};
    if (m_changed && !sources.empty()) {
        for (const std::string& host : hostCompilersOf(compilerPath))
            compilers.push_back(host);
    }
    for (const String& source : sources) {
        const String file = assemblyPath(source);
        const String asmPiece = commandPath(file) + " ";
        assembly.push_back(asmPiece);
        assemblyFiles.push_back(file);
        Compile compile;
        compile.assembly = file;
        // Build Changed asks the compiler for the headers it reads; the list
        // is read once the compile succeeded and then removed.
        String dependencies;
        if (m_changed) {
            compile.depFile = file.substr(0, file.size() - 2) + ".d";
            dependencies = "-MD -MF " + commandPath(compile.depFile) + " ";
        }
        const String command = compiler + "-g -o " + asmPiece + dependencies + compileOptions + " " + commandPath(source);
        if (m_changed) {
            // The launcher is left out: it changes how the compile runs, not
            // what it makes.
            compile.step = {file, command, {source}, {file}};
            compile.step.inputs.insert(compile.step.inputs.end(), compilers.begin(), compilers.end());
            if (m_changed->upToDate(compile.step)) {
                ++m_changed->counts.compilesUpToDate;
                continue;
            }
        }
        compile.command = launcher + command;
        compiles.push_back(std::move(compile));
    }

    auto finished = [this](const Compile& compile, const ChangedBuild::Clock& started, int result) {
        if (!m_changed)
            return;
        ++m_changed->counts.compiled;
        std::vector<std::string> headers;
        std::string error;
        if (result == 0) {
            if (DepFile::read(compile.depFile, m_projectDir, headers, &error))
                m_changed->succeeded(compile.step, started, headers);
            else
                diag("Can't read the compiler's list of headers: %s\n", error.c_str());
        }
        ::unlink(compile.depFile.c_str());
    };

    auto* parallel = dynamic_cast<ParallelExecutor*>(m_manager.getExecutor());
    if (parallel && parallel->jobs() > 1 && compiles.size() > 1) {
        Vector<String> commands, written;
        for (const Compile& compile : compiles) {
            commands.push_back(compile.command);
            written.push_back(compile.assembly);
        }
        const ChangedBuild::Clock started = ChangedBuild::now();
        const int result = runInOrder(
            *parallel, commands, written, [&](size_t index, int code) { finished(compiles[index], started, code); },
            [this] { return stopRequested(m_manager); });
        // Compiles that ran but were never shown (after a failure)
        // leave their header lists behind.
        if (m_changed)
            for (const Compile& compile : compiles)
                ::unlink(compile.depFile.c_str());
        return result;
    }
    for (const Compile& compile : compiles) {
        const ChangedBuild::Clock started = ChangedBuild::now();
        const int result = runTool(m_manager, compile.command);
        finished(compile, started, result);
        if (result)
            return result;
    }
    return 0;
}

Vector<String> BuildDriver::libraryInputs(Project& project) const
{
    const Config& config = m_manager.getConfig();
    Vector<String> directories;
    if (!isTrue(project.getProperty("ignoreDefaultLibraryDirectories")))
        directories = kitDirectories(m_manager.getRoot(), config.libraryDirectories);
    const String additionalDirs = project.getProperty("additionalLibraryDirectories");
    if (!additionalDirs.empty())
        for (const String& dir : split(additionalDirs, ";"))
            directories.push_back(toSlashes(dir));
    Vector<String> libraries;
    if (!isTrue(project.getProperty("ignoreDefaultLibraries")) && project.getProperty("configType") != "lib")
        libraries = config.defaultLibraries;
    const String dependencies = project.getProperty("additionalDependencies");
    if (!dependencies.empty())
        for (const String& library : split(dependencies, " "))
            if (library != "KVLib.lib")
                libraries.push_back(toSlashes(library));

    Vector<String> inputs;
    for (const String& library : libraries) {
        if (library.empty())
            continue;
        if (!endsWithLib(library) || library.find('/') != String::npos) {
            inputs.push_back(fromProjectDirectory(m_projectDir, library));
            continue;
        }
        for (const String& dir : directories) {
            if (dir.empty())
                continue;
            const String candidate = fromProjectDirectory(m_projectDir, dir.back() == '/' ? dir + library : dir + "/" + library);
            inputs.push_back(candidate);
            if (fileExists(candidate) && !isDirectory(candidate))
                break;
        }
    }
    return inputs;
}

int BuildDriver::link(Project& project, const String& linkCommand, const Vector<String>& assemblyFiles,
                      const Vector<String>& projectAssembly)
{
    const bool deadCode = project.getProperty("deadCodeElim") == "true";
    const String rebuilt = m_projectDir + "/rebuild.s";
    const String secondPass = deadCode
        ? "lintel -no-verify " + project.getProperty("extraLinker") + " -B " + commandPath(m_program) + " "
            + commandPath(rebuilt)
        : String();
    ChangedBuild::Step step;
    if (m_changed) {
        step.key = "link";
        step.command = deadCode ? linkCommand + "\n" + secondPass : linkCommand;
        step.inputs = {Platform::findProgram("lintel")};
        step.inputs.insert(step.inputs.end(), assemblyFiles.begin(), assemblyFiles.end());
        step.inputs.insert(step.inputs.end(), projectAssembly.begin(), projectAssembly.end());
        const Vector<String> libraries = libraryInputs(project);
        step.inputs.insert(step.inputs.end(), libraries.begin(), libraries.end());
        const String configType = project.getProperty("configType");
        if (configType == "app")
            step.outputs.push_back(m_program);
        else if (configType == "lib")
            step.outputs.push_back(fromProjectDirectory(m_projectDir, toSlashes(project.getProperty("outputPath"))));
        if (deadCode)
            step.outputs.push_back(rebuilt);
        if (m_changed->upToDate(step)) {
            m_changed->counts.link = ChangedBuild::Stage::UpToDate;
            return 0;
        }
        m_changed->counts.link = ChangedBuild::Stage::Ran;
    }
    const ChangedBuild::Clock started = ChangedBuild::now();
    if (int result = runTool(m_manager, linkCommand))
        return result;
    if (deadCode) {
        if (int result = runTool(m_manager, secondPass))
            return result;
    }
    if (m_changed)
        m_changed->succeeded(step, started);
    return 0;
}

} // namespace Brask
