#include "core/Project.h"

#include "core/xml/XMLParser.h"

namespace Brask {

using Corvath::XML::escapeAttribute;

Project::Project(const String& directory)
    : m_directory(directory)
    , m_root(std::make_unique<Folder>(nullptr, "root"))
{
    // Only "/" ends a Linux directory; a name may end with a backslash.
    if (m_directory.empty() || m_directory.back() != '/')
        m_directory += '/';
    m_properties = {
        {"configType", "app"},
        {"screenWidth", "240"},
        {"screenHeight", "320"},
        {"deadCodeElim", "false"},
        {"ignoreDefaultIncludeDirectories", "false"},
        {"ignoreDefaultLibraryDirectories", "false"},
        {"ignoreDefaultLibraries", "false"},
    };
}

Project::~Project() = default;

Folder* Project::resetRoot()
{
    m_root = std::make_unique<Folder>(nullptr, "root");
    return m_root.get();
}

String Project::getProperty(const String& key)
{
    for (const auto& [name, value] : m_properties)
        if (name == key)
            return value;
    m_properties.emplace_back(key, String());
    return String();
}

String Project::peekProperty(const String& key) const
{
    for (const auto& [name, value] : m_properties)
        if (name == key)
            return value;
    return String();
}

void Project::setProperty(const String& key, const String& value)
{
    for (auto& property : m_properties) {
        if (property.first == key) {
            property.second = value;
            return;
        }
    }
    m_properties.emplace_back(key, value);
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
