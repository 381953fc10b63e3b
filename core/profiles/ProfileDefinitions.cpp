#include "core/profiles/ProfileDefinitions.h"

namespace Brask {

ProfileDefinitions& ProfileDefinitions::instance()
{
    static ProfileDefinitions definitions;
    return definitions;
}

ProfileDefinitions::Entry& ProfileDefinitions::findOrAdd(const String& macro)
{
    auto it = m_index.find(std::string_view(macro));
    if (it != m_index.end())
        return m_entries[it->second];
    m_entries.emplace_back(macro, String());
    Entry& entry = m_entries.back();
    // The key views the entry's own copy of the name, which never moves.
    m_index.emplace(std::string_view(entry.first), m_entries.size() - 1);
    return entry;
}

const String& ProfileDefinitions::lookup(const String& macro)
{
    return findOrAdd(macro).second;
}

void ProfileDefinitions::set(const String& macro, const String& display)
{
    findOrAdd(macro).second = display;
}

} // namespace Brask
