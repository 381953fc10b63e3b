#pragma once
// One build of the open project: resources, compiling every source to
// assembly, linking (with an optional dead-code pass) and packaging.

#include "kvutil/KVUtil.h"

#include <memory>
#include <set>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class ChangedBuild;
class Project;
class ProjectManager;

class BuildDriver {
public:
    // Full: every step runs, as the Build command always does. Changed: a
    // step that the build record shows up to date is skipped, and the build
    // ends with a summary line (core/builder/ChangedBuild.h).
    enum class Mode { Full, Changed };

    BuildDriver(ProjectManager& manager, Mode mode = Mode::Full);
    ~BuildDriver();

    // 0 on success, 1 without a project, otherwise the result of the first
    // step that failed (tool exit code, executor error code, or -1). The
    // project directory is current afterwards, unless the Symbian packaging
    // left its work directory current.
    int run();

    // The words of the compiler launcher, each quoted as a command line
    // needs it and followed by a blank; empty without a launcher.
    static String launcherPrefix(const String& launcher);

private:
    int runSteps(Project& project);
    int buildResources(const String& command, const Vector<String>& lists);
    // Compiles `sources`; `assembly` receives each one's ASM piece as the
    // link command takes it, `assemblyFiles` the file itself.
    int compileSources(const Vector<String>& sources, const String& compileOptions, Vector<String>& assembly,
                       Vector<String>& assemblyFiles);
    int link(Project& project, const String& linkCommand, const Vector<String>& assemblyFiles,
             const Vector<String>& projectAssembly);
    // The library files a link command names, with every place the linker
    // looks for them before the one it finds (a file appearing there would
    // change the link).
    Vector<String> libraryInputs(Project& project) const;
    // -1 after a message when a library project's output path is empty or
    // names a file of the project, which the link would overwrite; else 0.
    int checkLibraryOutput(Project& project) const;
    String compilerFlags(Project& project) const;
    String includeOptions(Project& project) const;
    String libraryPart(Project& project, const Vector<String>& assembly, const Vector<String>& projectAssembly) const;
    // The assembly file for `source`, unique within this build: a later source
    // whose stem was already taken gets STEM_2.s, STEM_3.s...
    String assemblyPath(const String& source);

    ProjectManager& m_manager;
    Mode m_mode;
    std::unique_ptr<ChangedBuild> m_changed;
    String m_projectDir;
    String m_outputDir;
    String m_program;
    String m_resources;
    std::set<String> m_assemblyNames;
};

} // namespace Brask
