#include "core/ProjectParser.h"

#include "util/PathUtil.h"

namespace Brask {

using Corvath::XML::getAttribute;

ProjectParser::ProjectParser(const String& path)
    : m_directory(absoluteDirectory(path))
{
    m_result = Corvath::XML::parseXMLFile(*this, path);
    if (m_project && m_project->peekProperty("configType") == "lib")
        m_project->setProperty("deadCodeElim", "false");
}

void ProjectParser::startElement(const String& name, const Corvath::XML::Attributes& attributes)
{
    if (name == "Project") {
        m_project = std::make_unique<Project>(m_directory);
        m_project->setName(getAttribute(attributes, "name"));
        m_open.assign(1, m_project->resetRoot());
        return;
    }
    // Elements before the document element have no project to go into.
    if (!m_project)
        return;
    if (name == "Folder") {
        Folder* parent = currentFolder();
        m_open.push_back(new Folder(parent, getAttribute(attributes, "name")));
    } else if (name == "File") {
        Folder* parent = currentFolder();
        m_open.push_back(new Sourcefile(getAttribute(attributes, "path"), parent));
    } else if (name == "Property") {
        m_project->setProperty(getAttribute(attributes, "name"), getAttribute(attributes, "value"));
    } else if (auto criterion = createCriterion(name, attributes)) {
        m_project->addCriterion(std::move(criterion));
    }
}

void ProjectParser::endElement(const String& name)
{
    if (!m_project)
        return;
    if ((name == "Folder" || name == "File") && m_open.size() > 1)
        m_open.pop_back();
}

// Items nest only inside folders: anything inside a File element goes to the
// folder that holds the file.
Folder* ProjectParser::currentFolder() const
{
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it)
        if ((*it)->getType() == ProjectItem::FolderKind)
            return static_cast<Folder*>(*it);
    return m_project->getRoot();
}

} // namespace Brask
