#include "core/project/ProjectItem.h"

#include "core/xml/XMLParser.h"
#include "util/PathUtil.h"

#include <algorithm>

namespace Brask {

using Corvath::XML::escapeAttribute;

namespace {

// One tab per level, but no more than a file may nest: a tree built deeper
// in memory cannot make the text grow with the square of its depth.
String indent(int level)
{
    return String(static_cast<size_t>(std::clamp(level, 0, Corvath::XML::MaxNestingDepth)), '\t');
}

} // namespace

ProjectItem::ProjectItem(Folder* parent, const String& name)
    : m_name(name)
    , m_parent(parent)
{
    if (parent)
        static_cast<ProjectItem*>(parent)->m_children.emplace_back(this);
}

ProjectItem::~ProjectItem()
{
    // Taken apart one item at a time: destroying a deep tree must not recurse
    // once per level.
    Vector<std::unique_ptr<ProjectItem>> doomed = std::move(m_children);
    while (!doomed.empty()) {
        std::unique_ptr<ProjectItem> item = std::move(doomed.back());
        doomed.pop_back();
        for (auto& child : item->m_children)
            doomed.push_back(std::move(child));
        item->m_children.clear();
    }
}

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
    // Nested folders are written from a stack of our own, not by recursion:
    // the depth of the tree comes from a file.
    struct Open {
        const ProjectItem* folder;
        size_t next;
        int level;
    };
    const auto openLine = [&out](const ProjectItem& folder, int at) {
        out += indent(at) + "<Folder name=\"" + escapeAttribute(folder.getName()) + "\">\n";
    };
    Vector<Open> stack;
    openLine(*this, level);
    stack.push_back({this, 0, level});
    while (!stack.empty()) {
        Open& top = stack.back();
        const auto& children = top.folder->getChildren();
        if (top.next == children.size()) {
            out += indent(top.level) + "</Folder>\n";
            stack.pop_back();
            continue;
        }
        const ProjectItem& child = *children[top.next++];
        const int childLevel = top.level + 1;
        if (child.getType() == FolderKind) {
            openLine(child, childLevel);
            stack.push_back({&child, 0, childLevel});
        } else {
            child.writeXML(out, childLevel);
        }
    }
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
    out += indent(level) + "<File path=\"" + escapeAttribute(m_path) + "\"/>\n";
}

String Sourcefile::getExtension() const
{
    Vector<String> pieces = split(m_fileName, ".");
    return pieces.size() > 1 ? pieces[1] : String();
}

void forEachFile(const ProjectItem& root, const std::function<void(const Sourcefile&)>& visit)
{
    Vector<std::pair<const ProjectItem*, size_t>> stack{{&root, 0}};
    while (!stack.empty()) {
        auto& [item, next] = stack.back();
        if (next == item->getChildren().size()) {
            stack.pop_back();
            continue;
        }
        const ProjectItem& child = *item->getChildren()[next++];
        if (child.getType() == ProjectItem::FileKind)
            visit(static_cast<const Sourcefile&>(child));
        else
            stack.emplace_back(&child, 0);
    }
}

} // namespace Brask
