#include "core/VcprojParser.h"

#include "util/PathUtil.h"

namespace Brask {

using Corvath::XML::getAttribute;
using Corvath::XML::hasAttribute;

VcprojParser::VcprojParser(const String& path)
    : m_directory(absoluteDirectory(path))
{
    m_result = Corvath::XML::parseXMLFile(*this, path);
}

void VcprojParser::startElement(const String& name, const Corvath::XML::Attributes& attributes)
{
    if (m_stop)
        return;
    if (name == "VisualStudioProject") {
        const String version = getAttribute(attributes, "Version");
        if (version != "8,00" && version != "8.00") {
            m_stop = true;
            m_project.reset();
            return;
        }
        m_project = std::make_unique<Project>(m_directory);
        m_project->setName(getAttribute(attributes, "Name"));
        m_open.assign(1, m_project->resetRoot());
        return;
    }
    if (!m_project)
        return;

    if (name == "Filter" || name == "File") {
        Folder* parent = currentFolder();
        if (name == "Filter")
            m_open.push_back(new Folder(parent, getAttribute(attributes, "Name")));
        else
            m_open.push_back(new Sourcefile(getAttribute(attributes, "RelativePath"), parent));
    } else if (name == "Tool") {
        const String tool = getAttribute(attributes, "Name");
        if (tool == "VCCLCompilerTool" && hasAttribute(attributes, "AdditionalIncludeDirectories")) {
            m_project->setProperty("additionalIncludeDirectories",
                                   getAttribute(attributes, "AdditionalIncludeDirectories"));
        } else if (tool == "VCLibrarianTool") {
            m_project->setProperty("configType", "lib");
            m_project->setProperty("outputPath", m_project->getName() + ".lib");
        } else if (tool == "VCLinkerTool") {
            m_project->setProperty("configType", "app");
            m_project->setProperty("additionalDependencies", getAttribute(attributes, "AdditionalDependencies"));
            m_project->setProperty("additionalLibraryDirectories",
                                   getAttribute(attributes, "AdditionalLibraryDirectories"));
        }
    }
}

void VcprojParser::endElement(const String& name)
{
    if (m_stop || !m_project)
        return;
    if ((name == "Filter" || name == "File") && m_open.size() > 1)
        m_open.pop_back();
}

// Items nest only inside folders: anything inside a File element goes to the
// folder that holds the file.
Folder* VcprojParser::currentFolder() const
{
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it)
        if ((*it)->getType() == ProjectItem::FolderKind)
            return static_cast<Folder*>(*it);
    return m_project->getRoot();
}

} // namespace Brask
