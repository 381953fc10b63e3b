#pragma once
// One build of the open project: resources, compiling every source to
// assembly, linking (with an optional dead-code pass) and packaging.

#include "kvutil/KVUtil.h"

#include <set>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class Project;
class ProjectManager;

class BuildDriver {
public:
    explicit BuildDriver(ProjectManager& manager);

    // 0 on success, 1 without a project, otherwise the result of the first
    // step that failed (tool exit code, executor error code, or -1). The
    // project directory is current afterwards, unless the Symbian packaging
    // left its work directory current.
    int run();

private:
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
    String m_outputDir;
    String m_program;
    String m_resources;
    std::set<String> m_assemblyNames;
};

} // namespace Brask
