#pragma once
// What the two project readers share: the project being built and the stack of
// open folder and file elements that new tree items go into.

#include "core/project/Project.h"
#include "core/xml/XMLParser.h"

#include <memory>

namespace Brask {

class ProjectTreeReader : public Corvath::XML::XMLParser {
public:
    std::unique_ptr<Project> takeProject() { return std::move(m_project); }
    // Whether the file was read whole (a damaged file may still give a project).
    Corvath::XML::ParseResult result() const { return m_result; }

protected:
    // `path` is the file to be read; its directory becomes the project's.
    explicit ProjectTreeReader(const String& path);

    void read(const String& path);
    // A new project with the default properties and an empty tree.
    Project& startProject(const String& name);
    void discardProject();
    Project* project() const { return m_project.get(); }

    // New items go into the innermost open folder: anything inside a File
    // element goes to the folder that holds the file.
    void openFolder(const String& name);
    void openFile(const String& path);
    // The end of an open Folder or File element. The root is never closed.
    void closeItem();

private:
    Folder* currentFolder() const;

    String m_directory;
    std::unique_ptr<Project> m_project;
    Vector<ProjectItem*> m_open;  // the root at the bottom
    Corvath::XML::ParseResult m_result = Corvath::XML::ParseResult::OpenFailed;
};

} // namespace Brask
