#pragma once
// Java ME packaging: one JAR per distinct runtime of the target devices, each
// a fresh copy of the runtime's interpreter JAR with the program, the
// resources and the project's manifest zipped in, and beside it the
// descriptor (NAME.jad) a phone reads before it downloads the JAR.

#include "kvutil/KVUtil.h"

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class Device;
class ProjectManager;

class JavaMePackager {
public:
    explicit JavaMePackager(ProjectManager& manager);

    // 0 on success, otherwise the result of the first failing step. The
    // current directory is the same afterwards as before.
    int run(bool includeResources);

    // The seven manifest lines for a project called `name`.
    static String manifestText(const String& name);
    // The directory name a runtime text is packaged under: the text after its
    // last "/" or backslash.
    static String runtimeIdentifier(const String& runtime);
    // The distinct runtimes of `devices` in the order they are packaged:
    // ascending unsigned byte order of the texts.
    static Vector<String> packagingOrder(const Vector<const Device*>& devices);
    // The JAR a runtime is packaged into: OutputDir/ID/NAME.jar. An empty
    // runtime gives OutputDir//NAME.jar, as the build forms it.
    static String jarPath(const String& outputDir, const String& name, const String& runtime);
    // Where the package for `jar` is made: beside it, renamed to `jar` only
    // once it is complete.
    static String partialJarPath(const String& jar);

private:
    int packageRuntime(const String& runtime, bool includeResources);
    // Writes NAME.jad beside the finished `jar` (by a temporary name and a
    // rename); -1 with a line in the pane when it cannot.
    int writeDescriptor(const String& jar, const String& jad);

    ProjectManager& m_manager;
    String m_name;
    String m_outputDir;
    String m_program;
    String m_resources;
};

} // namespace Brask
