#include "core/project/Project.h"

#include "core/xml/XMLParser.h"

namespace Brask {

using Corvath::XML::escapeAttribute;

Project::Project(const String& directory)
    : m_root(std::make_unique<Folder>(nullptr, "root"))
{
    setDirectory(directory);
    const Property defaults[] = {
        {"configType", "app"},
        {"screenWidth", "240"},
        {"screenHeight", "320"},
        {"deadCodeElim", "false"},
        {"ignoreDefaultIncludeDirectories", "false"},
        {"ignoreDefaultLibraryDirectories", "false"},
        {"ignoreDefaultLibraries", "false"},
    };
    for (const Property& property : defaults)
        setProperty(property.first, property.second);
}

void Project::setDirectory(const String& directory)
{
    m_directory = directory;
    // Only "/" ends a Linux directory; a name may end with a backslash.
    if (m_directory.empty() || m_directory.back() != '/')
        m_directory += '/';
}

Project::~Project() = default;

Folder* Project::resetRoot()
{
    m_root = std::make_unique<Folder>(nullptr, "root");
    return m_root.get();
}

String Project::getProperty(const String& key)
{
    const auto found = m_propertyIndex.find(key);
    if (found != m_propertyIndex.end())
        return m_properties[found->second].second;
    setProperty(key, String());
    return String();
}

String Project::peekProperty(const String& key) const
{
    const auto found = m_propertyIndex.find(key);
    return found == m_propertyIndex.end() ? String() : m_properties[found->second].second;
}

void Project::setProperty(const String& key, const String& value)
{
    const auto [found, added] = m_propertyIndex.emplace(key, m_properties.size());
    if (added)
        m_properties.emplace_back(key, value);
    else
        m_properties[found->second].second = value;
}

int Project::addCriterion(std::unique_ptr<Criterion> criterion)
{
    m_criteria.push_back(std::move(criterion));
    return static_cast<int>(m_criteria.size()) - 1;
}

void Project::removeCriterion(int index)
{
    if (index < 0 || static_cast<size_t>(index) >= m_criteria.size())
        return;
    m_criteria.erase(m_criteria.begin() + index);
}

String Project::toXML() const
{
    String out = "<Project name=\"" + escapeAttribute(m_name) + "\">\n";
    out += "\t<Configuration>\n";
    for (const auto& [name, value] : m_properties)
        out += "\t\t<Property name=\"" + escapeAttribute(name) + "\" value=\"" + escapeAttribute(value) + "\"/>\n";
    out += "\t</Configuration>\n";
    out += "\t<Criteria>\n";
    for (const auto& criterion : m_criteria)
        out += "\t\t" + criterion->getXML() + "\n";
    out += "\t</Criteria>\n";
    for (const auto& child : m_root->getChildren())
        child->writeXML(out, 1);
    out += "</Project>\n";
    return out;
}

} // namespace Brask
