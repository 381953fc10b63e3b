#include "core/project/ProjectTreeReader.h"

#include "util/PathUtil.h"

namespace Brask {

ProjectTreeReader::ProjectTreeReader(const String& path)
    : m_directory(absoluteDirectory(path))
{
}

void ProjectTreeReader::read(const String& path)
{
    m_result = Corvath::XML::parseXMLFile(*this, path);
}

Project& ProjectTreeReader::startProject(const String& name)
{
    m_project = std::make_unique<Project>(m_directory);
    m_project->setName(name);
    m_open.assign(1, m_project->resetRoot());
    return *m_project;
}

void ProjectTreeReader::discardProject()
{
    m_project.reset();
    m_open.clear();
}

void ProjectTreeReader::openFolder(const String& name)
{
    m_open.push_back(new Folder(currentFolder(), name));
}

void ProjectTreeReader::openFile(const String& path)
{
    m_open.push_back(new Sourcefile(path, currentFolder()));
}

void ProjectTreeReader::closeItem()
{
    if (m_open.size() > 1)
        m_open.pop_back();
}

Folder* ProjectTreeReader::currentFolder() const
{
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it)
        if ((*it)->getType() == ProjectItem::FolderKind)
            return static_cast<Folder*>(*it);
    return m_project->getRoot();
}

} // namespace Brask
