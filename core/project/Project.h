#pragma once
// An open project: name, directory, properties, criteria and the file tree.

#include "core/profiles/Criterion.h"
#include "core/project/ProjectItem.h"
#include "kvutil/KVUtil.h"

#include <memory>
#include <unordered_map>
#include <utility>

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

class Project {
public:
    using Property = std::pair<String, String>;

    // `directory` gets a "/" appended unless it already ends in a separator.
    explicit Project(const String& directory);
    ~Project();
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;

    const String& getName() const { return m_name; }
    void setName(const String& name) { m_name = name; }
    const String& getDirectory() const { return m_directory; }
    // The same rule as the constructor; stored paths are not touched (see
    // relocateProject).
    void setDirectory(const String& directory);
    Folder* getRoot() const { return m_root.get(); }
    // Replaces the tree with a new empty root folder.
    Folder* resetRoot();

    // Reading an absent key appends it with the empty value (so it is saved).
    String getProperty(const String& key);
    // Reads without adding the key; empty when absent.
    String peekProperty(const String& key) const;
    void setProperty(const String& key, const String& value);
    const Vector<Property>& getProperties() const { return m_properties; }

    // Takes ownership; returns the index it was appended at.
    int addCriterion(std::unique_ptr<Criterion> criterion);
    void removeCriterion(int index);
    const Vector<std::unique_ptr<Criterion>>& getCriteria() const { return m_criteria; }

    // The whole project-file text.
    String toXML() const;

private:
    String m_name;
    String m_directory;
    Vector<Property> m_properties;
    // Key to position in m_properties, so a file with many properties loads
    // in linear time.
    std::unordered_map<String, size_t> m_propertyIndex;
    Vector<std::unique_ptr<Criterion>> m_criteria;
    std::unique_ptr<Folder> m_root;
};

} // namespace Brask
