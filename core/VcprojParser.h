#pragma once
// Imports a Visual C++ 2005 project: its filters become folders, its files keep
// their relative paths, and a few tool settings become project properties.

#include "core/Project.h"
#include "core/xml/XMLParser.h"

#include <memory>

namespace Brask {

class VcprojParser : public Corvath::XML::XMLParser {
public:
    explicit VcprojParser(const String& path);

    std::unique_ptr<Project> takeProject() { return std::move(m_project); }
    Corvath::XML::ParseResult result() const { return m_result; }

    void startElement(const String& name, const Corvath::XML::Attributes& attributes) override;
    void endElement(const String& name) override;

private:
    Folder* currentFolder() const;

    bool m_stop = false;
    String m_directory;
    std::unique_ptr<Project> m_project;
    // The open Folder/File elements; the root at the bottom.
    Vector<ProjectItem*> m_open;
    Corvath::XML::ParseResult m_result;
};

} // namespace Brask
