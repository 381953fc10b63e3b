#pragma once
// Pieces shared by the build driver and the two packagers.

#include "kvutil/KVUtil.h"

namespace Brask {

using KVUtil::String;

class ProjectManager;
class Project;

// Absolute project directory + "Output", e.g. /home/u/game/Output.
String outputDirectory(const Project& project);

// Runs `command` through the manager's executor with echo on. Without an
// executor nothing runs and the step fails with -1; after a stop nothing runs
// and the step fails with kStoppedResult.
int runTool(const ProjectManager& manager, const String& command);

// True once the executor has been asked to stop the build.
bool stopRequested(const ProjectManager& manager);

// Shows one of the build's own lines: through the executor when there is one,
// otherwise as a diagnostic so it is not lost.
void showMessage(const ProjectManager& manager, const String& text);

// A path as it enters a composed command line: quoted when it holds a blank
// or a quote. Backslashes stay: the caller has already turned those of
// Windows-born text into "/", and those of the project directory or of
// VARNELDIR are part of a Linux name.
String commandPath(const String& path);

// Changes the current directory back to where it was when the guard was made,
// on every way out of the scope.
class DirectoryRestorer {
public:
    DirectoryRestorer();
    ~DirectoryRestorer();
    DirectoryRestorer(const DirectoryRestorer&) = delete;
    DirectoryRestorer& operator=(const DirectoryRestorer&) = delete;

private:
    String m_saved;
};

} // namespace Brask
