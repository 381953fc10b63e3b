#pragma once
// The process-wide table from profile macro names (KV_PROF_...) to the display
// names users and criteria see. It is never cleared: a reload whose
// definitions.txt no longer lists a macro keeps the name learnt earlier, so
// criteria stored in projects keep matching.

#include "kvutil/KVUtil.h"

#include <deque>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace Brask {

using KVUtil::String;

class ProfileDefinitions {
public:
    using Entry = std::pair<String, String>; // (macro name, display name)

    static ProfileDefinitions& instance();

    // Display name of `macro`. An unknown macro is added with the empty display
    // name. The reference stays valid for the life of the process (entries are
    // never removed; a later set() may change the text it refers to).
    const String& lookup(const String& macro);
    // Adds `macro` or replaces its display name; its position is kept.
    void set(const String& macro, const String& display);

    // Entries in the order they were first seen.
    const std::deque<Entry>& entries() const { return m_entries; }
    size_t size() const { return m_entries.size(); }

private:
    ProfileDefinitions() = default;
    Entry& findOrAdd(const String& macro);

    // A deque keeps references stable as it grows; the index makes lookups
    // constant time instead of a scan over a few hundred names per define.
    std::deque<Entry> m_entries;
    std::unordered_map<std::string_view, size_t> m_index;
};

} // namespace Brask
