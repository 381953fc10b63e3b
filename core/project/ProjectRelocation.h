#pragma once
// Moving a project to another directory: the stored paths that are relative
// to its directory (source files, additional include and library
// directories) are re-expressed relative to the new one, so the files are
// still found when the project is saved and built there.

#include "core/project/Project.h"

namespace Brask {

// Re-expresses `stored` (relative to `from`) relative to `to`. Absolute
// paths, empty text and text holding a macro ("$(") stay as they are; a path
// written with backslashes keeps backslashes.
String rebasePath(const String& stored, const String& from, const String& to);

// Gives `project` the directory `directory` and rebases its relative paths.
// Nothing changes when both directories are the same.
void relocateProject(Project& project, const String& directory);

} // namespace Brask
