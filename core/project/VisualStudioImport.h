#pragma once
// The Visual Studio import: one entry for the project files people have
// today. It reads Visual C++ .vcproj files of Versions 7.10, 8.00 and 9.00
// and MSBuild .vcxproj files (2010 and later, with the folders of the
// .vcxproj.filters beside them), tells which format it read, and says in one
// line what a file is when it reads nothing from it (a solution, an unknown
// version, another MSBuild project). Nothing is written anywhere.

#include "core/project/Project.h"
#include "core/xml/XMLParser.h"

#include <memory>

namespace Brask {

struct VisualStudioImport {
    std::unique_ptr<Project> project;  // none when nothing could be read
    // Read only in part (damaged XML): the project holds what came before.
    bool damaged = false;
    // What was read, for instance "Visual C++ 2008 project (.vcproj,
    // Version 9,00)"; empty without a project.
    String format;
    // Without a project: one line naming the file, what it is and what the
    // import reads.
    String refusal;
    // Lines about what was read that the user should know (files outside the
    // project's directory or missing, items left out...), each naming what
    // it is about.
    Vector<String> notes;
};

VisualStudioImport importVisualStudioProject(const String& path);

} // namespace Brask
