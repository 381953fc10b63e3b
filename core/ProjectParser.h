#pragma once
// Reads a project file into a Project. Constructing the reader reads the file;
// the caller then takes the project (possibly none) and the read's outcome.

#include "core/Project.h"
#include "core/xml/XMLParser.h"

#include <memory>

namespace Brask {

class ProjectParser : public Corvath::XML::XMLParser {
public:
    explicit ProjectParser(const String& path);

    std::unique_ptr<Project> takeProject() { return std::move(m_project); }
    Corvath::XML::ParseResult result() const { return m_result; }

    void startElement(const String& name, const Corvath::XML::Attributes& attributes) override;
    void endElement(const String& name) override;

private:
    Folder* currentFolder() const;

    String m_directory;
    std::unique_ptr<Project> m_project;
    // The open Folder/File elements; the root at the bottom.
    Vector<ProjectItem*> m_open;
    Corvath::XML::ParseResult m_result;
};

} // namespace Brask
