#include "core/project/VcxprojFilters.h"

namespace Brask {

using Corvath::XML::getAttribute;

namespace {

// A folder name longer than this is no folder name: the rest is dropped
// rather than collected from a damaged or hostile file.
constexpr size_t MaxFilterText = 4096;

} // namespace

VcxprojFilters::VcxprojFilters(const String& path)
{
    m_result = Corvath::XML::parseXMLFile(*this, path);
}

String VcxprojFilters::itemKey(const String& include)
{
    String key = include;
    for (char& c : key) {
        if (c == '/')
            c = '\\';
        else if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return key;
}

void VcxprojFilters::startElement(const String& name, const Corvath::XML::Attributes& attributes)
{
    const String parent = m_open.empty() ? String() : m_open.back();
    m_open.push_back(name);
    if (parent == "ItemGroup" && m_open.size() == 3) {
        const String include = getAttribute(attributes, "Include");
        if (name == "Filter") {
            if (!include.empty())
                m_declared.push_back(include);
        } else {
            m_item = include;
        }
    } else if (name == "Filter" && m_open.size() == 4 && !m_item.empty()) {
        m_inItemFilter = true;
        m_text.clear();
    }
}

void VcxprojFilters::characters(const String& text)
{
    if (m_inItemFilter && m_text.size() < MaxFilterText)
        m_text.append(text, 0, MaxFilterText - m_text.size());
}

void VcxprojFilters::endElement(const String& name)
{
    if (m_inItemFilter && name == "Filter") {
        m_inItemFilter = false;
        const String key = itemKey(m_item);
        const auto [it, added] = m_index.emplace(key, m_placements.size());
        if (added)
            m_placements.push_back({m_item, m_text});
        else
            m_placements[it->second].folder = m_text;  // the last word counts
    }
    if (!m_open.empty())
        m_open.pop_back();
    if (m_open.size() == 2)
        m_item.clear();
}

const String* VcxprojFilters::folderOf(const String& include)
{
    const auto it = m_index.find(itemKey(include));
    if (it == m_index.end())
        return nullptr;
    Placement& placement = m_placements[it->second];
    placement.used = true;
    return &placement.folder;
}

Vector<String> VcxprojFilters::unusedItems() const
{
    Vector<String> unused;
    for (const Placement& placement : m_placements)
        if (!placement.used)
            unused.push_back(placement.include);
    return unused;
}

} // namespace Brask
