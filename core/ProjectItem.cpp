#include "core/ProjectItem.h"

#include "core/xml/XMLParser.h"
#include "util/PathUtil.h"

namespace Brask {

using Corvath::XML::escapeAttribute;

ProjectItem::ProjectItem(Folder* parent, const String& name)
    : m_name(name)
    , m_parent(parent)
{
    if (parent)
        static_cast<ProjectItem*>(parent)->m_children.emplace_back(this);
}

ProjectItem::~ProjectItem() = default;

String ProjectItem::getName() const
{
    return m_name;
}

void ProjectItem::setName(const String& name)
{
    m_name = name;
}

int ProjectItem::indexOfChild(const ProjectItem* item) const
{
    for (size_t i = 0; i < m_children.size(); ++i)
        if (m_children[i].get() == item)
            return static_cast<int>(i);
    return -1;
}

void ProjectItem::removeChild(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_children.size())
        return;
    m_children.erase(m_children.begin() + index);
}

Folder::Folder(Folder* parent, const String& name)
    : ProjectItem(parent, name)
{
}

void Folder::writeXML(String& out, int level) const
{
    const String indent(static_cast<size_t>(level), '\t');
    out += indent + "<Folder name=\"" + escapeAttribute(m_name) + "\">\n";
    for (const auto& child : getChildren())
        child->writeXML(out, level + 1);
    out += indent + "</Folder>\n";
}

Sourcefile::Sourcefile(const String& path, Folder* parent)
    : ProjectItem(parent, path)
{
    setName(path);
}

String Sourcefile::getName() const
{
    return m_fileName;
}

void Sourcefile::setName(const String& name)
{
    m_name = name;
    m_path = name;
    // The bare name of a stored path, whichever separator the data uses.
    m_fileName = name.empty() ? String() : fileNamePart(toSlashes(name));
}

void Sourcefile::writeXML(String& out, int level) const
{
    out += String(static_cast<size_t>(level), '\t') + "<File path=\"" + escapeAttribute(m_path) + "\"/>\n";
}

String Sourcefile::getExtension() const
{
    Vector<String> pieces = split(m_fileName, ".");
    return pieces.size() > 1 ? pieces[1] : String();
}

} // namespace Brask
